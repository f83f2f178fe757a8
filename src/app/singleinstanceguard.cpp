#include "singleinstanceguard.h"

#ifdef Q_OS_LINUX
#include <QCryptographicHash>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>
#endif

namespace launcher {

#ifdef Q_OS_LINUX

namespace {

    bool isTransient(int error)
    {
        return error == EINTR || error == EAGAIN || error == ENOMEM || error == ENOBUFS
            || error == EMFILE || error == ENFILE;
    }

    void pause(long milliseconds)
    {
        timespec delay { 0, milliseconds * 1000 * 1000 };
        nanosleep(&delay, nullptr);
    }

} // namespace

QByteArray SingleInstanceGuard::socketName(const QString& filePath, unsigned int uid)
{
    // A hash keeps the name short whatever the path's length, and one path gives one name.
    const QByteArray digest
        = QCryptographicHash::hash(filePath.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QByteArrayLiteral("nimbrel-launcher/") + QByteArray::number(uid) + '/' + digest;
}

SingleInstanceGuard::SingleInstanceGuard(const QString& filePath)
    : filePath(filePath)
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (socket >= 0)
        ::close(socket);
}

bool SingleInstanceGuard::acquire()
{
    if (socket >= 0)
        return true;

    const QByteArray name = socketName(filePath, ::getuid());
    sockaddr_un address;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // sun_path[0] stays NUL: the abstract namespace, nothing on disk.
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());

    // Running out of descriptors or kernel memory can pass; another launcher holding the name
    // cannot, so only the former is tried again, briefly.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt > 0)
            pause(10);
        // Close-on-exec, or the product started by this launcher would inherit the guard.
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            if (isTransient(errno))
                continue;
            return false;
        }
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) {
            socket = fd;
            return true;
        }
        const int error = errno;
        ::close(fd);
        if (!isTransient(error))
            return false;
    }
    return false;
}

#else

SingleInstanceGuard::SingleInstanceGuard(const QString& filePath)
    : filePath(filePath)
    , memory(filePath)
{
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

bool SingleInstanceGuard::acquire()
{
    return memory.isAttached() || memory.create(1, QSharedMemory::ReadWrite);
}

#endif

} // namespace launcher
