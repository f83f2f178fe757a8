#include "singleinstanceguard.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <QCryptographicHash>

#include <cerrno>
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

    // A directory of this user's that nobody else can write to: a real directory (not a link),
    // owned by the user, with no access for group or others.
    bool isPrivateDirectory(const QByteArray& path)
    {
        struct stat status;
        return !path.isEmpty() && path.startsWith('/') && ::lstat(path.constData(), &status) == 0
            && S_ISDIR(status.st_mode) && status.st_uid == ::getuid()
            && (status.st_mode & 077) == 0;
    }

    QByteArray privateSubdirectory(const QByteArray& parent)
    {
        const QByteArray path = parent + "/nimbrel-launcher";
        ::mkdir(path.constData(), 0700);
        return isPrivateDirectory(path) ? path : QByteArray();
    }

    // Where the locks live: the user's runtime directory (private by definition, on a tmpfs that
    // is emptied at logout), also when a session did not set XDG_RUNTIME_DIR (cron, su), else a
    // directory in the user's home. The same directory for every launcher of the user, whatever
    // TMPDIR says.
    QByteArray lockDirectory()
    {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (isPrivateDirectory(runtime))
            return privateSubdirectory(runtime);
        const QByteArray systemRuntime = "/run/user/" + QByteArray::number(::getuid());
        if (isPrivateDirectory(systemRuntime))
            return privateSubdirectory(systemRuntime);
        const passwd* user = ::getpwuid(::getuid());
        QByteArray cache = user && user->pw_dir ? QByteArray(user->pw_dir) : QByteArray();
        if (cache.isEmpty() || !cache.startsWith('/'))
            return QByteArray();
        cache += "/.cache";
        ::mkdir(cache.constData(), 0700);
        return privateSubdirectory(cache);
    }

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QByteArray& filePath)
    : filePath(filePath)
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (lock >= 0)
        ::close(lock);
}

bool SingleInstanceGuard::acquire()
{
    if (lock >= 0)
        return true;
    const QByteArray directory = lockDirectory();
    if (directory.isEmpty())
        return false;
    // A hash keeps the name short whatever the path's length, and one path gives one name.
    const QByteArray file = directory + '/'
        + QCryptographicHash::hash(filePath, QCryptographicHash::Sha256).toHex() + ".lock";

    // Running out of descriptors or kernel memory can pass; another launcher holding the lock
    // cannot, so only the former is tried again, briefly.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt > 0)
            pause(10);
        // Close-on-exec, or the product started by this launcher would hold the guard.
        const int fd = ::open(
            file.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0) {
            if (isTransient(errno))
                continue;
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lock = fd;
            return true;
        }
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK || !isTransient(error))
            return false;
    }
    return false;
}

#else

SingleInstanceGuard::SingleInstanceGuard(const QByteArray& filePath)
    : filePath(filePath)
#ifdef Q_OS_WIN
    , memory(QString::fromUtf8(filePath)) // nativeLauncherPath() is UTF-8 there
#else
    , memory(QFile::decodeName(filePath))
#endif
{
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

bool SingleInstanceGuard::acquire()
{
    return memory.isAttached() || memory.create(1, QSharedMemory::ReadWrite);
}

#endif

} // namespace launcher
