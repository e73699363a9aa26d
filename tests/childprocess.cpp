#include "childprocess.h"

#include "errors.h"

#include <QByteArray>

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

} // namespace

ChildOutcome runInChild(const std::function<void()>& prepare, const std::function<void()>& action)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        QByteArray report = "ok";
        prepare();
        try {
            action();
        } catch (const Exception& e) {
            report = "E" + e.message().toUtf8();
        } catch (...) {
            report = "X";
        }
        writeAll(fds[1], report);
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray report;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);

    ChildOutcome outcome;
    outcome.exited = WIFEXITED(status) && !report.isEmpty();
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    outcome.threw = report.startsWith('E');
    if (outcome.threw)
        outcome.errorMessage = QString::fromUtf8(report.mid(1));
    return outcome;
}

void limitFileSize(long bytes)
{
    const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

void exhaustFileDescriptors()
{
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    const rlimit limit{rlim_t(lowestFree), rlim_t(lowestFree)};
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

bool dropToUnprivilegedUser()
{
    constexpr uid_t Nobody = 65534;
    return ::geteuid() == 0 && ::setgroups(0, nullptr) == 0 && ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0;
}

SmallFileSystem::SmallFileSystem(const QString& dir, qint64 bytes)
    : dir_(QFile::encodeName(dir))
{
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
    mounted_ = ::mount("showflst-test", dir_.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
}

SmallFileSystem::~SmallFileSystem()
{
    if (mounted_)
        ::umount2(dir_.constData(), MNT_DETACH);
}

bool SmallFileSystem::makeReadOnly()
{
    return ::mount(nullptr, dir_.constData(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

void SmallFileSystem::fill(const QString& fileName)
{
    const int fd = ::open((dir_ + '/' + QFile::encodeName(fileName)).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const QByteArray block(4096, 'f');
    while (fd >= 0 && ::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    // The last page may have taken part of a block: fill it byte by byte.
    while (fd >= 0 && ::write(fd, block.constData(), 1) > 0) {
    }
    if (fd >= 0)
        ::close(fd);
}

bool setImmutable(const QString& path, bool immutable)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}
