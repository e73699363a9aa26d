#include "faultinjection.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

struct Armed {
    FaultPoint point = FaultPoint::None;
    int error = 0;
    int passes = 0;
    bool shortFirst = false;
    int tripped = 0;
};

Armed armed;

template <typename Function>
Function real(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

enum class Outcome { Pass, Short, Fail };

Outcome decide(FaultPoint point)
{
    if (armed.point != point)
        return Outcome::Pass;
    if (armed.passes > 0) {
        --armed.passes;
        return Outcome::Pass;
    }
    ++armed.tripped;
    if (armed.shortFirst && armed.tripped == 1)
        return Outcome::Short;
    errno = armed.error;
    return Outcome::Fail;
}

// Standard streams and pipes stay out of it: only files are faulted.
bool isFile(int fd)
{
    return fd > 2 && ::lseek(fd, 0, SEEK_CUR) >= 0;
}

// Reads are faulted on the settings file alone: other files (fonts, say) are
// read as they were.
bool isSettingsFile(int fd)
{
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length <= 0)
        return false;
    target[length] = '\0';
    return std::strstr(target, "showflst.dat") != nullptr;
}

// A read or a write at `point`: passed on whole, cut to half, or failed.
template <typename Buffer>
ssize_t transfer(FaultPoint point, ssize_t (*passOn)(int, Buffer, size_t), int fd, Buffer buffer, size_t count)
{
    if (point == FaultPoint::None)
        return passOn(fd, buffer, count);
    switch (decide(point)) {
    case Outcome::Pass:
        return passOn(fd, buffer, count);
    case Outcome::Short:
        return passOn(fd, buffer, count / 2);
    case Outcome::Fail:
        break;
    }
    return -1;
}

} // namespace

ArmedFault::ArmedFault(FaultPoint point, int error, int passes, bool shortFirst)
{
    armed = {point, error, passes, shortFirst, 0};
}

ArmedFault::~ArmedFault()
{
    armed = {};
}

int ArmedFault::tripped() const
{
    return armed.tripped;
}

extern "C" {

int open64(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
        if (decide(FaultPoint::Create) != Outcome::Pass)
            return -1;
    }
    return real<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t count)
{
    const auto passOn = real<ssize_t (*)(int, void*, size_t)>("read");
    const bool faulted = isFile(fd) && isSettingsFile(fd);
    return transfer(faulted ? FaultPoint::Read : FaultPoint::None, passOn, fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count)
{
    const auto passOn = real<ssize_t (*)(int, const void*, size_t)>("write");
    return transfer(isFile(fd) ? FaultPoint::Write : FaultPoint::None, passOn, fd, buffer, count);
}

int fdatasync(int fd)
{
    if (decide(FaultPoint::Sync) != Outcome::Pass)
        return -1;
    return real<int (*)(int)>("fdatasync")(fd);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    if (decide(FaultPoint::Link) != Outcome::Pass)
        return -1;
    return real<int (*)(int, const char*, int, const char*, int)>("linkat")(fromDir, from, toDir, to, flags);
}

int rename(const char* from, const char* to) noexcept
{
    if (decide(FaultPoint::Rename) != Outcome::Pass)
        return -1;
    return real<int (*)(const char*, const char*)>("rename")(from, to);
}

} // extern "C"
