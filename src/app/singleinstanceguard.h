#pragma once

#include <QByteArray>

#if !defined(Q_OS_LINUX) && !defined(Q_OS_WIN)
#include <QSharedMemory>
#endif

namespace launcher {

// Makes sure that only one launcher runs from one executable file at a time, per user. A launcher
// is its file's path as the system names the running file (launcherFilePath(): links resolved; a
// hard link or a bind mount is another path, and so another launcher).
//
// On Linux the guard is an exclusive lock on a file named after a hash of the path, taken in the
// user's private places: the runtime directory /run/user/<uid> and a directory
// /tmp/nimbrel-launcher-<uid>, in that order, each where it can be made; where neither can, in the
// home's .cache. All are found without the environment, and each is a real directory owned by the
// user with no access for anyone else (one of the user's own that lost that is made private again;
// one of another user's is not used). Two launchers that see different places (one started before
// the login made the runtime directory) still meet in the one they share, and since all take the
// places in the same order, of two that race one always wins. The kernel releases a lock with its
// process, even after kill -9; no other user can create or hold the files; a lock holds across
// namespaces; the product does not inherit it. The files are removed when the guard is released,
// and when the launcher ends on SIGTERM, SIGINT or SIGHUP.
//
// On Windows the guard is a named mutex of the user's session, named after a hash of the path as
// Windows resolves it (GetFinalPathNameByHandleW: links, drive aliases and short names followed)
// in upper case, as Windows compares names: taken without waiting, released by the system with its
// process; one that a launcher left abandoned when it died counts as free. Elsewhere a one-byte
// shared-memory segment named after the path is the guard.
class SingleInstanceGuard {
public:
    enum Error {
        NoError,
        HeldError, // another launcher from the same file holds the guard
        UnavailableError, // no place for the guard could be made: the launcher runs unguarded
    };

    // `filePath` is the launcher's executable (launcherFilePath()).
    explicit SingleInstanceGuard(const QByteArray& filePath);
    ~SingleInstanceGuard();

    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // True when this process now holds the guard; otherwise error() says why not.
    bool acquire();
    Error error() const { return lastError; }
    // Gives the guard up before the object goes (the destructor does it otherwise).
    void release();

private:
    QByteArray filePath;
    Error lastError = NoError;
#if defined(Q_OS_LINUX)
    bool held = false;
#elif defined(Q_OS_WIN)
    void* mutex = nullptr; // a HANDLE
#else
    QSharedMemory memory;
#endif
};

} // namespace launcher
