#pragma once

#include <QString>

#include <functional>

// Runs `action` in a forked child, after `prepare` has set up the child's
// limits (file size, open files, user). Faults made this way hold for root
// too, and cannot disturb the test process itself.
struct ChildOutcome {
    bool exited = false;     // the child ran to its end (it was not killed)
    bool threw = false;      // `action` threw an Exception
    QString errorMessage;    // that exception's message
};

ChildOutcome runInChild(const std::function<void()>& prepare, const std::function<void()>& action);

// Limits for `prepare`.
void limitFileSize(long bytes);  // writes past it fail with EFBIG, not a signal
void exhaustFileDescriptors();   // the next open() fails with EMFILE
bool dropToUnprivilegedUser();   // as root, become "nobody"; false otherwise
