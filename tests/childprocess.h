#pragma once

#include <QString>

#include <functional>

// Runs `action` in a forked child, after `prepare` has set up the child's
// limits (file size, open files, user). Faults made this way hold for root
// too, and cannot disturb the test process itself.
struct ChildOutcome {
    bool exited = false;     // the child ran to its end (it was not killed)
    int signal = 0;          // the signal that ended it, if one did
    bool threw = false;      // `action` threw an Exception
    QString errorMessage;    // that exception's message
};

ChildOutcome runInChild(const std::function<void()>& prepare, const std::function<void()>& action);

// Limits for `prepare`.
void limitFileSize(long bytes);  // SIGXFSZ keeps its default: past the limit, it kills
void exhaustFileDescriptors();   // the next open() fails with EMFILE
bool dropToUnprivilegedUser();   // as root, become "nobody"; false otherwise

// A tmpfs of `bytes` mounted on `dir` until the object goes; mounted() is
// false where this process may not mount (then nothing was changed).
class SmallFileSystem {
public:
    SmallFileSystem(const QString& dir, qint64 bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly();
    // Fills the free space with a file of this name, until the disk is full.
    void fill(const QString& fileName);

private:
    QByteArray dir_;
    bool mounted_ = false;
};

// Sets or clears the immutable attribute of `path` (root only, and only
// where the file system has it); false where that failed.
bool setImmutable(const QString& path, bool immutable);
