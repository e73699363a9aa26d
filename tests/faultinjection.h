#pragma once

#include <cstddef>

// Fault injection at the C library: a test executable that links this
// defines open64, read, write, fdatasync, linkat and rename itself and
// exports them, so that Qt's calls reach these first. Each passes the call on
// to the C library unless a fault is armed for it. This makes every point of
// a save or a load fail on demand, for root as for anyone else.
enum class FaultPoint {
    None,
    Create,    // opening a file with O_CREAT or O_TMPFILE
    Read,      // read() on the settings file
    Write,     // write() on a file
    Sync,      // fdatasync()
    Link,      // linkat(): giving the temporary file its name
    Rename,    // rename(): moving it over the old file
};

// While one lives, calls at `point` fail with `error`, after `passes` calls
// went through; with `shortFirst`, the first failing write or read does half
// its work instead, and the calls after it fail.
class ArmedFault {
public:
    ArmedFault(FaultPoint point, int error, int passes = 0, bool shortFirst = false);
    ~ArmedFault();
    ArmedFault(const ArmedFault&) = delete;
    ArmedFault& operator=(const ArmedFault&) = delete;

    // How many calls failed (or were cut short) so far.
    int tripped() const;
};
