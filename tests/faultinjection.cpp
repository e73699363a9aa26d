#include "faultinjection.h"

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

struct Armed {
    bool on = false;
    int error = 0;
    int passes = 0;
    bool shortFirst = false;
    int tripped = 0;
};

constexpr std::size_t PointCount = std::size_t(FaultPoint::Truncate) + 1;
std::array<Armed, PointCount> armed;

Armed& at(FaultPoint point)
{
    return armed[std::size_t(point)];
}

template <typename Function>
Function real(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

enum class Outcome { Pass, Short, Fail };

Outcome decide(FaultPoint point)
{
    Armed& fault = at(point);
    if (point == FaultPoint::None || !fault.on)
        return Outcome::Pass;
    if (fault.passes > 0) {
        --fault.passes;
        return Outcome::Pass;
    }
    ++fault.tripped;
    if (fault.shortFirst && fault.tripped == 1)
        return Outcome::Short;
    errno = fault.error;
    return Outcome::Fail;
}

// Standard streams, pipes and sockets stay out of it: only files are faulted.
bool isFile(int fd)
{
    struct stat status {};
    return fd > 2 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

bool isDirectory(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
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

bool creates(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

mode_t modeArgument(int flags, va_list arguments)
{
    return creates(flags) ? va_arg(arguments, mode_t) : 0;
}

// A read or a write at `point`: passed on whole, cut to half, or failed.
template <typename Buffer>
ssize_t transfer(FaultPoint point, ssize_t (*passOn)(int, Buffer, size_t), int fd, Buffer buffer, size_t count)
{
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

ssize_t vectorWrite(const char* name, int fd, const iovec* vector, int count, off_t offset)
{
    const auto passOn = real<ssize_t (*)(int, const iovec*, int, off_t)>(name);
    switch (decide(isFile(fd) ? FaultPoint::Write : FaultPoint::None)) {
    case Outcome::Pass:
        return passOn(fd, vector, count, offset);
    case Outcome::Short: {
        iovec half = vector[0];
        half.iov_len /= 2;
        return passOn(fd, &half, 1, offset);
    }
    case Outcome::Fail:
        break;
    }
    return -1;
}

int truncateFile(const char* name, int fd, off_t length)
{
    if (decide(FaultPoint::Truncate) != Outcome::Pass)
        return -1;
    return real<int (*)(int, off_t)>(name)(fd, length);
}

} // namespace

ArmedFault::ArmedFault(FaultPoint point, int error, int passes, bool shortFirst)
    : point_(point)
{
    at(point) = {true, error, passes, shortFirst, 0};
}

ArmedFault::~ArmedFault()
{
    at(point_) = {};
}

int ArmedFault::tripped() const
{
    return at(point_).tripped;
}

extern "C" {

int open64(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (creates(flags) && decide(FaultPoint::Create) != Outcome::Pass)
        return -1;
    return real<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (creates(flags) && decide(FaultPoint::Create) != Outcome::Pass)
        return -1;
    return real<int (*)(int, const char*, int, ...)>("openat")(dir, path, flags, mode);
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

ssize_t pwritev(int fd, const iovec* vector, int count, off_t offset)
{
    return vectorWrite("pwritev", fd, vector, count, offset);
}

ssize_t pwritev64(int fd, const iovec* vector, int count, off_t offset)
{
    return vectorWrite("pwritev64", fd, vector, count, offset);
}

int fdatasync(int fd)
{
    if (decide(FaultPoint::Sync) != Outcome::Pass)
        return -1;
    return real<int (*)(int)>("fdatasync")(fd);
}

int fsync(int fd)
{
    if (decide(isDirectory(fd) ? FaultPoint::SyncDirectory : FaultPoint::Sync) != Outcome::Pass)
        return -1;
    return real<int (*)(int)>("fsync")(fd);
}

int ftruncate(int fd, off_t length) noexcept
{
    return truncateFile("ftruncate", fd, length);
}

int ftruncate64(int fd, off_t length) noexcept
{
    return truncateFile("ftruncate64", fd, length);
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

int renameat(int fromDir, const char* from, int toDir, const char* to) noexcept
{
    if (decide(FaultPoint::Rename) != Outcome::Pass)
        return -1;
    return real<int (*)(int, const char*, int, const char*)>("renameat")(fromDir, from, toDir, to);
}

} // extern "C"
