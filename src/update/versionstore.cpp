#include "versionstore.h"

#include "common/userstore.h"

#include <QSettings>

#ifndef Q_OS_WIN
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace launcher {

namespace {

    const QString storeName = QStringLiteral("Update");

#ifndef Q_OS_WIN
    // A lock on the store's directory (the file itself is replaced on every write, so a lock on
    // it would not hold). The kernel releases it with the process, so nobody waits for a launcher
    // that died; a turn that does not come within a second (a launcher stopped while it holds
    // it) is not waited for any longer, and QSettings' own lock still keeps the file whole then.
    class Turn {
    public:
        explicit Turn(const QString& directory)
            : fd(::open(QFile::encodeName(directory).constData(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK))
        {
            QElapsedTimer waited;
            waited.start();
            while (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0
                && (errno == EWOULDBLOCK || errno == EINTR) && !waited.hasExpired(1000))
                QThread::msleep(2);
        }
        ~Turn()
        {
            if (fd >= 0)
                ::close(fd);
        }
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

    private:
        const int fd;
    };

    // Whether a file of the store's new size, with room for QSettings' lock file beside it, can
    // be written in the store's directory. Qt 5.15 writes the file through QSaveFile, which
    // misses a write that fails in its final flush and then puts the short file in place of the
    // old one: on a full disk, storing would empty the store and lose every other entry.
    bool roomToRewrite(const QFileInfo& file, qint64 addedBytes)
    {
        QTemporaryFile probe(file.absolutePath() + QStringLiteral("/.probe-XXXXXX"));
        if (!probe.open())
            return false;
        const QByteArray block(4096, ' ');
        for (qint64 left = file.size() + addedBytes + block.size(); left > 0;
             left -= block.size()) {
            if (probe.write(block) != block.size())
                return false;
        }
        return probe.flush();
    }
#endif

    // The registry's strings come back through QString::fromWCharArray, which takes a leading
    // U+FEFF or U+FFFE for a byte order mark (dropped, or the rest read byte-swapped): there, such
    // a version is stored as the bytes of its UTF-16, which come back exactly.
    QVariant storable(const QString& version)
    {
#ifdef Q_OS_WIN
        if (version.startsWith(QChar(0xfeff)) || version.startsWith(QChar(0xfffe)))
            return QByteArray(reinterpret_cast<const char*>(version.utf16()), version.size() * 2);
#endif
        return version;
    }

    QString offeredIn(const QSettings& store, const QString& key)
    {
        const QVariant entry = store.value(key);
#ifdef Q_OS_WIN
        if (entry.userType() == QMetaType::QByteArray) {
            const QByteArray units = entry.toByteArray();
            return QString(reinterpret_cast<const QChar*>(units.constData()), units.size() / 2);
        }
#endif
        return entry.toString();
    }

} // namespace

bool takeOffer(const QString& key, const QString& version)
{
    const bool writable = isUserStoreWritable(storeName);
#ifndef Q_OS_WIN
    const QFileInfo file(userStorePath(storeName));
    if (writable)
        QDir().mkpath(file.absolutePath());
    const Turn turn(file.absolutePath());
#endif
    // Escaped, so that the version read back is exactly the one stored, whatever it holds.
    const std::unique_ptr<QSettings> store = openUserStore(storeName, StoreText::Escaped);
    if (!store)
        return true;
    const QString offered = offeredIn(*store, key);
    if (!offered.isEmpty() && offered == version)
        return false;
    if (!writable)
        return true;
#ifndef Q_OS_WIN
    // Each character outside ASCII is written as an escape of six bytes.
    if (!roomToRewrite(file, 6 * (key.size() + version.size())))
        return true;
#endif
    store->setValue(key, storable(version));
    syncEscapedStore(*store);
    return true;
}

bool isOffered(const QString& key, const QString& version)
{
    const std::unique_ptr<QSettings> store = openUserStore(storeName, StoreText::Escaped);
    const QString offered = store ? offeredIn(*store, key) : QString();
    return !offered.isEmpty() && offered == version;
}

} // namespace launcher
