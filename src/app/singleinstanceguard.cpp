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
    // is emptied at logout), else a directory in the user's home. Both are found without the
    // environment (XDG_RUNTIME_DIR is unset under cron and su, and HOME and XDG_RUNTIME_DIR may
    // point elsewhere), so every launcher of the user meets in one place, whatever TMPDIR says.
    QByteArray lockDirectory()
    {
        const QByteArray runtime = "/run/user/" + QByteArray::number(::getuid());
        if (isPrivateDirectory(runtime))
            return privateSubdirectory(runtime);
        const passwd* user = ::getpwuid(::getuid());
        const QByteArray home = user && user->pw_dir ? QByteArray(user->pw_dir) : QByteArray();
        if (!home.startsWith('/'))
            return QByteArray();
        ::mkdir(home + "/.cache", 0700);
        return privateSubdirectory(home + "/.cache");
    }

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QByteArray& filePath)
    : filePath(filePath)
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    // Removed while still locked, so that nothing is left behind; a launcher that opened the
    // file just before sees that it is gone once it holds it, and tries again.
    if (lock >= 0) {
        ::unlink(file.constData());
        ::close(lock);
    }
}

bool SingleInstanceGuard::acquire()
{
    if (lock >= 0)
        return true;
    const QByteArray directory = lockDirectory();
    if (directory.isEmpty())
        return false;
    // A hash keeps the name short whatever the path's length, and one path gives one name.
    file = directory + '/' + QCryptographicHash::hash(filePath, QCryptographicHash::Sha256).toHex()
        + ".lock";

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
        struct stat held, named;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (::fstat(fd, &held) == 0 && ::stat(file.constData(), &named) == 0
                && held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
                lock = fd;
                return true;
            }
            ::close(fd); // removed by the launcher that held it: the next one is a new file
            continue;
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
