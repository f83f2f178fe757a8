#pragma once

#include <QString>

#ifndef Q_OS_LINUX
#include <QSharedMemory>
#endif

namespace launcher {

// Makes sure that only one launcher runs from one executable file at a time.
//
// Elsewhere a one-byte shared-memory segment named after the file path is the guard. On Linux a
// System V segment would outlive a launcher that was killed, its key file would follow TMPDIR and
// would clash between users, so the guard there is a socket in the abstract namespace: the kernel
// frees it with the process, and its name is derived from the user and the path.
class SingleInstanceGuard {
public:
    explicit SingleInstanceGuard(const QString& filePath);
    ~SingleInstanceGuard();

    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // True when this process now holds the guard; false when another launcher holds it or the
    // guard could not be made.
    bool acquire();

#ifdef Q_OS_LINUX
    // The abstract socket name (without its leading NUL) used for a file path and a user.
    static QByteArray socketName(const QString& filePath, unsigned int uid);
#endif

private:
    QString filePath;
#ifdef Q_OS_LINUX
    int socket = -1;
#else
    QSharedMemory memory;
#endif
};

} // namespace launcher
