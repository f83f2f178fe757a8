#include "versionstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryFile>
#include <QThread>

namespace launcher {

namespace {

    // Whether a file of the store's new size, with room for the lock file beside it, can be
    // written in the store's directory.
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

} // namespace

void storeOfferedVersion(QSettings& store, const QString& key, const QString& version)
{
#if !defined(Q_OS_WIN) && !defined(Q_OS_DARWIN)
    // Here the native store is an INI file that QSettings rewrites under a lock file of its own.
    const QFileInfo file(store.fileName());
    if (!QDir().mkpath(file.absolutePath()))
        return;

    // Launchers that store at the same moment take turns a few milliseconds apart. QSettings'
    // lock alone keeps the file whole as well, but it waits 100, 200, 400 ms and longer between
    // attempts, so of a handful of launchers storing at once the last would start its product
    // seconds late. A turn that does not come within a second is not waited for any longer (a
    // launcher stopped while storing); QSettings' lock still keeps the file whole then.
    QLockFile turn(file.absoluteFilePath() + QStringLiteral(".turn"));
    QElapsedTimer waited;
    waited.start();
    while (
        !turn.tryLock(0) && turn.error() == QLockFile::LockFailedError && !waited.hasExpired(1000))
        QThread::msleep(2);

    // Qt 5.15 writes the file through QSaveFile, which misses a write that fails in its final
    // flush and then puts the short file in place of the old one: on a full disk, storing would
    // empty the store and lose every other entry. So it is written only when there is room.
    if (!roomToRewrite(file, key.toUtf8().size() + version.toUtf8().size()))
        return;
#endif
    store.setValue(key, version);
    store.sync();
}

} // namespace launcher
