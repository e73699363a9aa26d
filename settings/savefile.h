#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

// Replaces the file `fileName` with the concatenation of `pieces`, so that at
// every instant the file holds either its old content or the new one:
//
// - The new content goes to a file of its own in the same directory, is made
//   durable, and is then renamed over the old name, and the directory is
//   synced. A symbolic link, FIFO or device of that name is replaced by a
//   regular file; nothing outside the directory is created or written.
// - Where the directory refuses the new file (EACCES, EPERM) but the old name
//   is a writable regular file, the file is rewritten in place: first its
//   size is reserved for the new length (by appending 0x1A bytes, which end
//   the input for every reader), then the new content overwrites it from the
//   start and is made durable, and only then is the file cut to the new
//   length. Any failure before the overwrite leaves it byte for byte as it was.
//   The overwrite is a single write under an exclusive lock, which readers
//   wait for (lockForReading). A kill cannot split a write of one page (4 KiB
//   on Linux, far beyond any real settings); a longer content may be left
//   part new and part old by SIGKILL or a power loss during the write.
// - A file being written is held open under an unnamed file where the file
//   system allows it; while named, it is called ".<name>.saving-XXXXXX" and
//   locked. A save removes such files that no live save holds any more, left
//   by one that was killed.
// - SIGTERM, SIGINT and SIGHUP that arrive during the save take effect once
//   it has finished or failed; a file-size limit is an error, not SIGXFSZ.
//
// Throws EInOutError naming the file and the system's reason on any failure.
void saveFileContent(const QString& fileName, const QList<QByteArrayView>& pieces);

// The name pattern of the files a save writes before they replace `name`,
// with X for each of the six random letters or digits.
QString temporaryNamePattern(const QString& name);

// Takes a shared lock on the open file `fd`, so that a read does not see a
// rewrite in place half done; waits at most about two seconds for a writer
// to finish, and reads without the lock after that.
void lockForReading(int fd);
