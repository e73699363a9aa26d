#pragma once

#include <cstddef>

// Fault injection at the C library: a test executable that links this
// defines the calls below itself and exports them, so that Qt's calls and
// ours reach these first. Each passes the call on to the C library unless a
// fault is armed for it. This makes every point of a save or a load fail on
// demand, for root as for anyone else.
enum class FaultPoint {
    None,
    Create,        // opening a file with O_CREAT or O_TMPFILE
    Read,          // read() on the settings file
    Write,         // write() or pwritev() on a file
    Sync,          // fdatasync() on a file
    SyncDirectory, // fsync() of the directory after the rename
    Link,          // linkat(): giving the new file its temporary name
    Rename,        // rename() or renameat(): moving it over the old file
    Truncate,      // ftruncate(): cutting a file rewritten in place
};

// While one lives, calls at `point` fail with `error`, after `passes` calls
// went through; with `shortFirst`, the first failing write or read does half
// its work instead, and the calls after it fail. Faults at different points
// may be armed at the same time.
class ArmedFault {
public:
    ArmedFault(FaultPoint point, int error, int passes = 0, bool shortFirst = false);
    ~ArmedFault();
    ArmedFault(const ArmedFault&) = delete;
    ArmedFault& operator=(const ArmedFault&) = delete;

    // How many calls failed (or were cut short) so far.
    int tripped() const;

private:
    FaultPoint point_;
};
