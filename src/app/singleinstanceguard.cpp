#include "singleinstanceguard.h"

#include <QCryptographicHash>
#include <QFile>

#ifdef Q_OS_WIN
#include <vector>
#include <windows.h>
#endif

#ifdef Q_OS_LINUX

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace launcher {

#ifdef Q_OS_LINUX

namespace {

    // What a signal handler needs to remove the lock files: plain descriptors and names, set
    // before the handlers are installed.
    struct Lock {
        int directory = -1;
        int file = -1;
        char name[72] = {};
    };
    constexpr int maxPlaces = 2;
    Lock locks[maxPlaces];
    volatile sig_atomic_t lockCount = 0;
    const int endingSignals[] = { SIGTERM, SIGINT, SIGHUP };
    struct sigaction previousActions[3];

    // Removes the file only while it is still the one this process holds: a name that another
    // launcher has taken since is left alone.
    void removeLockFile(const Lock& lock)
    {
        struct stat held, named;
        if (::fstat(lock.file, &held) == 0
            && ::fstatat(lock.directory, lock.name, &named, AT_SYMLINK_NOFOLLOW) == 0
            && held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            ::unlinkat(lock.directory, lock.name, 0);
    }

    void endOnSignal(int signal)
    {
        const int saved = errno;
        for (int i = 0; i < lockCount; ++i)
            removeLockFile(locks[i]);
        errno = saved;
        // Ended by the signal as if nothing had caught it, so whoever sent it sees that.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }

    bool isTransient(int error)
    {
        return error == EINTR || error == EAGAIN || error == ENOMEM || error == ENOBUFS
            || error == EMFILE || error == ENFILE || error == ENOLCK;
    }

    void pause(long milliseconds)
    {
        timespec delay { 0, milliseconds * 1000 * 1000 };
        nanosleep(&delay, nullptr);
    }

    // The user's runtime directory, when it is private as it should be.
    QByteArray runtimePlace()
    {
        const QByteArray runtime = "/run/user/" + QByteArray::number(::geteuid());
        struct stat status;
        return ::lstat(runtime.constData(), &status) == 0 && S_ISDIR(status.st_mode)
                && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0
            ? runtime + "/nimbrel-launcher"
            : QByteArray();
    }

    // The last resort: in the home of the user's account. A home may be shared between machines,
    // where a lock would hold back the user's launchers elsewhere.
    QByteArray homePlace()
    {
        const passwd* user = ::getpwuid(::geteuid());
        const QByteArray home = user && user->pw_dir ? QByteArray(user->pw_dir) : QByteArray();
        if (!home.startsWith('/'))
            return QByteArray();
        ::mkdir(home + "/.cache", 0700);
        return home + "/.cache/nimbrel-launcher";
    }

    // The place as an open directory that is the user's and nobody else's, or -1.
    int openPlace(const QByteArray& path)
    {
        ::mkdir(path.constData(), 0700);
        const int directory
            = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat status;
        if (directory >= 0 && ::fstat(directory, &status) == 0 && status.st_uid == ::geteuid()
            && ((status.st_mode & 077) == 0 || ::fchmod(directory, 0700) == 0))
            return directory;
        if (directory >= 0)
            ::close(directory);
        return -1;
    }

    enum class Outcome { Taken, Held, Unusable };

    // Running out of descriptors or kernel memory can pass; another launcher holding the lock
    // cannot, so only the former is tried again, briefly. Anything else under the lock's name (a
    // link, a directory, a FIFO: the user's own doing, in the user's own place) is removed.
    Outcome lockIn(int directory, const char* name, int& file)
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (attempt > 0)
                pause(10);
            // Close-on-exec, or the product started by this launcher would hold the guard.
            const int fd = ::openat(
                directory, name, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
            struct stat held, named;
            if (fd < 0) {
                if (isTransient(errno))
                    continue;
                if ((errno == ELOOP || errno == EISDIR || errno == ENXIO)
                    && (::unlinkat(directory, name, 0) == 0
                        || ::unlinkat(directory, name, AT_REMOVEDIR) == 0))
                    continue;
                return Outcome::Unusable;
            }
            if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
                ::close(fd);
                if (::unlinkat(directory, name, 0) == 0)
                    continue;
                return Outcome::Unusable;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                if (::fstatat(directory, name, &named, AT_SYMLINK_NOFOLLOW) == 0
                    && held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
                    file = fd;
                    return Outcome::Taken;
                }
                ::close(fd); // removed by the launcher that held it: the next one is a new file
                continue;
            }
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return Outcome::Held;
            if (!isTransient(error))
                return Outcome::Unusable;
        }
        return Outcome::Unusable;
    }

    void blockEndingSignals(int how)
    {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : endingSignals)
            sigaddset(&set, signal);
        ::sigprocmask(how, &set, nullptr);
    }

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QByteArray& filePath)
    : filePath(filePath)
{
}

SingleInstanceGuard::~SingleInstanceGuard() { release(); }

void SingleInstanceGuard::release()
{
    if (!held)
        return;
    // Removed while still locked, so that nothing is left behind; a launcher that opened a file
    // just before sees that it is gone once it holds it, and tries again.
    blockEndingSignals(SIG_BLOCK);
    for (int i = 0; i < lockCount; ++i) {
        removeLockFile(locks[i]);
        ::close(locks[i].file);
        ::close(locks[i].directory);
    }
    lockCount = 0;
    for (int i = 0; i < 3; ++i)
        ::sigaction(endingSignals[i], &previousActions[i], nullptr);
    blockEndingSignals(SIG_UNBLOCK);
    held = false;
}

bool SingleInstanceGuard::acquire()
{
    if (held)
        return true;
    // A hash keeps the name short whatever the path's length, and one path gives one name.
    const QByteArray name
        = QCryptographicHash::hash(filePath, QCryptographicHash::Sha256).toHex() + ".lock";
    Lock taken[maxPlaces];
    int count = 0;
    // Taken in every place that can be made, each in the same order by every launcher.
    const auto lockPlace = [&](const QByteArray& place) {
        Lock lock;
        lock.directory = place.isEmpty() ? -1 : openPlace(place);
        if (lock.directory < 0)
            return Outcome::Unusable;
        const Outcome outcome = lockIn(lock.directory, name.constData(), lock.file);
        if (outcome == Outcome::Taken) {
            std::strncpy(lock.name, name.constData(), sizeof lock.name - 1);
            taken[count++] = lock;
        } else {
            ::close(lock.directory);
        }
        return outcome;
    };
    bool heldElsewhere = lockPlace(runtimePlace()) == Outcome::Held
        || lockPlace("/tmp/nimbrel-launcher-" + QByteArray::number(::geteuid())) == Outcome::Held;
    if (!heldElsewhere && count == 0)
        heldElsewhere = lockPlace(homePlace()) == Outcome::Held;
    if (heldElsewhere || count == 0) {
        for (int i = 0; i < count; ++i) {
            removeLockFile(taken[i]);
            ::close(taken[i].file);
            ::close(taken[i].directory);
        }
        lastError = heldElsewhere ? HeldError : UnavailableError;
        return false;
    }

    blockEndingSignals(SIG_BLOCK);
    for (int i = 0; i < count; ++i)
        locks[i] = taken[i];
    lockCount = count;
    for (int i = 0; i < 3; ++i) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        ::sigaction(endingSignals[i], nullptr, &previousActions[i]);
        // A signal the launcher was started to ignore (nohup) stays ignored.
        if (previousActions[i].sa_handler == SIG_IGN)
            continue;
        action.sa_handler = endOnSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(endingSignals[i], &action, nullptr);
    }
    blockEndingSignals(SIG_UNBLOCK);
    held = true;
    lastError = NoError;
    return true;
}

#elif defined(Q_OS_WIN)

namespace {

    // The file as Windows resolves it (links, drive aliases and short names followed), in the
    // letter case Windows compares names in; the path as given when it cannot be opened.
    QString canonicalKey(const QString& path)
    {
        QString key = path;
        const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), 0,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::vector<wchar_t> name(MAX_PATH);
            DWORD length = ::GetFinalPathNameByHandleW(
                file, name.data(), DWORD(name.size()), FILE_NAME_NORMALIZED);
            if (length >= name.size()) {
                name.resize(length + 1);
                length = ::GetFinalPathNameByHandleW(
                    file, name.data(), DWORD(name.size()), FILE_NAME_NORMALIZED);
            }
            if (length > 0 && length < name.size())
                key = QString::fromWCharArray(name.data(), int(length));
            ::CloseHandle(file);
        }
        std::vector<wchar_t> upper(size_t(key.size()) + 1);
        const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE,
            reinterpret_cast<const wchar_t*>(key.utf16()), key.size(), upper.data(),
            int(upper.size()), nullptr, nullptr, 0);
        return length > 0 ? QString::fromWCharArray(upper.data(), length) : key;
    }

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QByteArray& filePath)
    : filePath(filePath)
{
}

SingleInstanceGuard::~SingleInstanceGuard() { release(); }

void SingleInstanceGuard::release()
{
    if (!mutex)
        return;
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    mutex = nullptr;
}

bool SingleInstanceGuard::acquire()
{
    if (mutex)
        return true;
    // A named mutex of the user's session, never waited for: the system releases it with its
    // process, and a launcher that died holding it leaves it abandoned, which counts as free.
    const QString name = QStringLiteral("Local\\nimbrel-launcher-")
        + QCryptographicHash::hash(
            canonicalKey(QString::fromUtf8(filePath)).toUtf8(), QCryptographicHash::Sha256)
              .toHex();
    mutex = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(name.utf16()));
    const DWORD taken = mutex ? ::WaitForSingleObject(mutex, 0) : WAIT_FAILED;
    if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
        lastError = NoError;
        return true;
    }
    if (mutex)
        ::CloseHandle(mutex);
    mutex = nullptr;
    lastError = taken == WAIT_TIMEOUT ? HeldError : UnavailableError;
    return false;
}

#else

SingleInstanceGuard::SingleInstanceGuard(const QByteArray& filePath)
    : filePath(filePath)
    , memory(QFile::decodeName(filePath))
{
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

void SingleInstanceGuard::release()
{
    if (memory.isAttached())
        memory.detach();
}

bool SingleInstanceGuard::acquire()
{
    if (memory.isAttached() || memory.create(1, QSharedMemory::ReadWrite)) {
        lastError = NoError;
        return true;
    }
    lastError = memory.error() == QSharedMemory::AlreadyExists ? HeldError : UnavailableError;
    return false;
}

#endif

} // namespace launcher
