#pragma once

#include <QByteArray>

#ifndef Q_OS_LINUX
#include <QSharedMemory>
#endif

namespace launcher {

// Makes sure that only one launcher runs from one executable file at a time, per user.
//
// Elsewhere a one-byte shared-memory segment named after the file path is the guard. On Linux a
// System V segment would outlive a launcher that was killed and its key file would follow TMPDIR,
// and an abstract socket name can be taken by any other user and is not seen from another network
// namespace. There the guard is an exclusive lock on a file named after a hash of the path, in a
// directory that only the user can write to: the kernel releases the lock with the process, even
// after kill -9; no other user can create or hold the file; a lock is the same in every namespace
// of the machine. The file is removed when the guard is released.
class SingleInstanceGuard {
public:
    // `filePath` is the launcher's executable as the system names it (nativeLauncherPath()).
    explicit SingleInstanceGuard(const QByteArray& filePath);
    ~SingleInstanceGuard();

    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // True when this process now holds the guard; false when another launcher holds it or the
    // guard could not be made.
    bool acquire();

private:
    QByteArray filePath;
#ifdef Q_OS_LINUX
    QByteArray file;
    int lock = -1;
#else
    QSharedMemory memory;
#endif
};

} // namespace launcher
