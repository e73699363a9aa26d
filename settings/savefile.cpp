#include "savefile.h"

#include "descriptor.h"
#include "errors.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr char EndOfInput = '\x1a';
constexpr std::array DeferredSignals = {SIGTERM, SIGINT, SIGHUP};

// The cause of a failure: an error number, or a text where no error number
// says it.
struct Cause {
    int error = 0;
    QString text;

    explicit operator bool() const { return error != 0 || !text.isEmpty(); }
    QString describe() const { return text.isEmpty() ? systemErrorText(error) : text; }
};

Cause lastError()
{
    return {errno, {}};
}

// While it lives, SIGTERM, SIGINT and SIGHUP only take note, and SIGXFSZ is
// ignored, so that a write past a file-size limit fails with EFBIG. When it
// ends, the dispositions are restored and a noted signal is raised again, to
// take the effect it would have had.
volatile std::sig_atomic_t deferredSignal = 0;

extern "C" void noteSignal(int signal)
{
    deferredSignal = signal;
}

class SignalsDeferred {
public:
    SignalsDeferred()
    {
        struct sigaction note {};
        note.sa_handler = noteSignal;
        sigfillset(&note.sa_mask);
        note.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < DeferredSignals.size(); ++i) {
            ::sigaction(DeferredSignals[i], nullptr, &previous_[i]);
            // An ignored signal stays ignored.
            replaced_[i] = (previous_[i].sa_flags & SA_SIGINFO) != 0 || previous_[i].sa_handler != SIG_IGN;
            if (replaced_[i])
                ::sigaction(DeferredSignals[i], &note, nullptr);
        }
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &previousFileSize_);
    }

    ~SignalsDeferred()
    {
        ::sigaction(SIGXFSZ, &previousFileSize_, nullptr);
        for (std::size_t i = 0; i < DeferredSignals.size(); ++i)
            if (replaced_[i])
                ::sigaction(DeferredSignals[i], &previous_[i], nullptr);
        if (const int signal = deferredSignal) {
            deferredSignal = 0;
            ::raise(signal);
        }
    }

    SignalsDeferred(const SignalsDeferred&) = delete;
    SignalsDeferred& operator=(const SignalsDeferred&) = delete;

private:
    std::array<struct sigaction, DeferredSignals.size()> previous_{};
    std::array<bool, DeferredSignals.size()> replaced_{};
    struct sigaction previousFileSize_ {};
};

QByteArray temporaryPrefix(const QByteArray& name)
{
    return '.' + name + ".saving-";
}

QByteArray temporaryName(const QByteArray& name)
{
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray result = temporaryPrefix(name);
    for (int i = 0; i < 6; ++i)
        result += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
    return result;
}

bool isTemporaryName(const QByteArray& candidate, const QByteArray& prefix)
{
    return candidate.size() == prefix.size() + 6 && candidate.startsWith(prefix)
        && std::all_of(candidate.cbegin() + prefix.size(), candidate.cend(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
}

// Removes the files an earlier save that was killed left under the temporary
// name pattern. A live save holds a lock on its file, so only files nobody
// holds are removed; anything else of that name, or that cannot be opened
// and locked, stays. This is tidying only: nothing here fails the save.
void removeLeftovers(int dir, const QByteArray& name)
{
    const int listing = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return;
    }
    const QByteArray prefix = temporaryPrefix(name);
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray candidate(entry->d_name);
        if (!isTemporaryName(candidate, prefix))
            continue;
        const Descriptor file(::openat(dir, candidate.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        struct stat named {};
        if (!file.valid() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)
            || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (::fstatat(dir, candidate.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev
            && named.st_ino == opened.st_ino)
            ::unlinkat(dir, candidate.constData(), 0);
    }
    ::closedir(entries);
}

// Takes the lock `operation` on `fd`, waiting for whoever holds it at most
// about two seconds: a lock that a stuck or hostile process holds must not
// stop the program. Whether the lock was taken matters to no caller.
void lockWithin(int fd, int operation)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::flock(fd, operation | LOCK_NB) == 0 || errno != EWOULDBLOCK)
            return;
        ::usleep(10'000);
    }
}

// EFBIG where the content would pass the file-size limit.
Cause checkSizeLimit(qint64 length)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && rlim_t(length) > limit.rlim_cur)
        return {EFBIG, {}};
    return {};
}

// Writes all of `pieces` at `offset`; a short write is continued, so that a
// failure names its real cause.
Cause writeAt(int fd, const QList<QByteArrayView>& pieces, off_t offset)
{
    std::vector<iovec> vector;
    for (const QByteArrayView piece : pieces)
        if (!piece.isEmpty())
            vector.push_back({const_cast<char*>(piece.data()), std::size_t(piece.size())});
    std::size_t next = 0;
    while (next < vector.size()) {
        const int count = int(std::min<std::size_t>(vector.size() - next, IOV_MAX));
        const ssize_t written = ::pwritev(fd, vector.data() + next, count, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return lastError();
        if (written == 0)
            return {EIO, {}};
        offset += written;
        for (auto left = std::size_t(written); left > 0;) {
            iovec& piece = vector[next];
            const std::size_t taken = std::min(left, piece.iov_len);
            piece.iov_base = static_cast<char*>(piece.iov_base) + taken;
            piece.iov_len -= taken;
            left -= taken;
            if (piece.iov_len == 0)
                ++next;
        }
    }
    return {};
}

// Makes what was written durable. A file system that cannot sync (EINVAL,
// EROFS) is no failure: there is nothing more to be done there.
Cause syncData(int fd)
{
    if (::fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS)
        return {};
    return lastError();
}

Cause syncDirectory(int dir)
{
    if (::fsync(dir) == 0 || errno == EINVAL || errno == EROFS)
        return {};
    return lastError();
}

// The new file while it is written: unnamed where the file system allows it,
// else under a temporary name, and locked either way so that no other save
// takes it for a leftover. Removed unless it was moved into place.
class NewFile {
public:
    NewFile(int dir, QByteArray name)
        : dir_(dir)
        , name_(std::move(name))
    {
    }
    ~NewFile()
    {
        if (!temporaryName_.isEmpty())
            ::unlinkat(dir_, temporaryName_.constData(), 0);
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    int fd() const { return file_.get(); }

    Cause create(mode_t mode)
    {
        file_.reset(::openat(dir_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        // Where the file system has no unnamed files, or refuses one, a named
        // file is tried, and its failure gives the cause (a removed directory
        // refuses an unnamed file with EPERM, a named one with ENOENT).
        for (int attempt = 0; !file_.valid() && attempt < 100; ++attempt) {
            const QByteArray candidate = temporaryName(name_);
            file_.reset(::openat(dir_, candidate.constData(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, mode));
            if (file_.valid())
                temporaryName_ = candidate;
            else if (errno != EEXIST)
                return lastError();
        }
        if (!file_.valid())
            return {EEXIST, {}};
        ::flock(file_.get(), LOCK_EX | LOCK_NB);
        return {};
    }

    // Gives an unnamed file its temporary name, which a rename can move.
    Cause name()
    {
        if (!temporaryName_.isEmpty())
            return {};
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(file_.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray candidate = temporaryName(name_);
            if (::linkat(AT_FDCWD, self.constData(), dir_, candidate.constData(), AT_SYMLINK_FOLLOW) == 0
                || (errno == ENOENT
                    && ::linkat(file_.get(), "", dir_, candidate.constData(), AT_EMPTY_PATH) == 0)) {
                temporaryName_ = candidate;
                return {};
            }
            if (errno != EEXIST)
                return lastError();
        }
        return {EEXIST, {}};
    }

    Cause moveIntoPlace()
    {
        if (::renameat(dir_, temporaryName_.constData(), dir_, name_.constData()) != 0)
            return lastError();
        temporaryName_.clear();
        return file_.close() ? Cause{} : lastError();
    }

private:
    int dir_;
    QByteArray name_;
    QByteArray temporaryName_;
    Descriptor file_;
};

// Appends `count` bytes of 0x1A at `offset`, the end of the file.
Cause reserve(int fd, off_t offset, qint64 count)
{
    static const QByteArray padding(qsizetype{64} * 1024, EndOfInput);
    QList<QByteArrayView> pieces;
    for (qint64 left = count; left > 0; left -= padding.size())
        pieces.append(QByteArrayView(padding).first(std::min<qint64>(left, padding.size())));
    return writeAt(fd, pieces, offset);
}

// Rewrites the regular file `name` in place, never holding less than its old
// first five lines or the new ones (see the header).
Cause writeInPlace(int dir, const QByteArray& name, const QList<QByteArrayView>& pieces, qint64 length)
{
    Descriptor file(::openat(dir, name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid())
        return lastError();
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        return lastError();
    if (!S_ISREG(status.st_mode))
        return {0, QStringLiteral("通常のファイルではありません")};
    lockWithin(file.get(), LOCK_EX);
    const off_t oldLength = status.st_size;
    if (length > oldLength) {
        if (Cause failed = reserve(file.get(), oldLength, length - oldLength)) {
            // Back to the old length. Should even that fail, the 0x1A bytes
            // after the old content change nothing that any reader takes.
            [[maybe_unused]] const int restored = ::ftruncate(file.get(), oldLength);
            return failed;
        }
    }
    if (Cause failed = writeAt(file.get(), pieces, 0))
        return failed;
    if (Cause failed = syncData(file.get()))
        return failed;
    if (oldLength > length) {
        if (::ftruncate(file.get(), length) != 0)
            return lastError();
        if (Cause failed = syncData(file.get()))
            return failed;
    }
    return file.close() ? Cause{} : lastError();
}

Cause save(const QByteArray& path, const QList<QByteArrayView>& pieces)
{
    qint64 length = 0;
    for (const QByteArrayView piece : pieces)
        length += piece.size();
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray directory = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.first(slash);
    const QByteArray name = path.mid(slash + 1);
    if (name.isEmpty() || name == "." || name == "..")
        return {EISDIR, {}};

    const Descriptor dir(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return lastError();
    struct stat old {};
    const bool oldIsRegular = ::fstatat(dir.get(), name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0
                           && S_ISREG(old.st_mode);
    if (Cause tooLarge = checkSizeLimit(length))
        return tooLarge;
    removeLeftovers(dir.get(), name);

    // A file that replaces an old one keeps its permissions.
    const mode_t mode = oldIsRegular ? old.st_mode & 0777 : 0666;
    NewFile file(dir.get(), name);
    Cause created = file.create(mode);
    if (created.error == EACCES || created.error == EPERM)
        return oldIsRegular ? writeInPlace(dir.get(), name, pieces, length) : created;
    if (created)
        return created;
    if (oldIsRegular)
        static_cast<void>(::fchmod(file.fd(), mode));
    if (Cause failed = writeAt(file.fd(), pieces, 0))
        return failed;
    if (Cause failed = syncData(file.fd()))
        return failed;
    if (Cause failed = file.name())
        return failed;
    // A sticky directory refuses to replace another user's file, and an
    // immutable directory any file; the file itself may still be writable.
    if (Cause failed = file.moveIntoPlace())
        return (failed.error == EPERM || failed.error == EACCES) && oldIsRegular
                   ? writeInPlace(dir.get(), name, pieces, length)
                   : failed;
    return syncDirectory(dir.get());
}

} // namespace

void saveFileContent(const QString& fileName, const QList<QByteArrayView>& pieces)
{
    Cause failed;
    {
        const SignalsDeferred deferred;
        failed = save(QFile::encodeName(fileName), pieces);
    }
    if (failed)
        throw EInOutError::writing(fileName, failed.describe());
}

void lockForReading(int fd)
{
    lockWithin(fd, LOCK_SH);
}

QString temporaryNamePattern(const QString& name)
{
    return QFile::decodeName(temporaryPrefix(QFile::encodeName(name))) + QStringLiteral("XXXXXX");
}
