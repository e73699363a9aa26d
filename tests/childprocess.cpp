#include "childprocess.h"

#include "errors.h"

#include <QByteArray>

#include <csignal>
#include <grp.h>
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
    outcome.threw = report.startsWith('E');
    if (outcome.threw)
        outcome.errorMessage = QString::fromUtf8(report.mid(1));
    return outcome;
}

void limitFileSize(long bytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
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
