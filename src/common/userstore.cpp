#include "userstore.h"

#include "names.h"
#include "settingsfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace launcher {

QString userStorePath(const QString& application)
{
#ifdef Q_OS_WIN
    Q_UNUSED(application);
    return QString();
#else
    // Where QSettings keeps a user-scope native store on this platform.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QLatin1Char('/') + organizationName + QLatin1Char('/') + application
        + QStringLiteral(".conf");
#endif
}

std::unique_ptr<QSettings> openUserStore(const QString& application, StoreText text)
{
#ifdef Q_OS_WIN
    Q_UNUSED(text);
    return std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, organizationName, application);
#else
    const QString path = userStorePath(application);
    const QFileInfo file(path);
    // A link that leads nowhere would be written through, creating whatever it names.
    const bool usable
        = file.exists() ? file.isFile() && file.size() <= maxUserStoreSize : !file.isSymLink();
    if (!usable)
        return nullptr;
    // The native format here is this INI file; opening it by name leaves out the organisation-wide
    // and system-wide files that QSettings would read too, which the launcher never asks for.
    auto store = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (text == StoreText::Utf8)
        useUtf8(*store);
    return store;
#endif
}

void syncEscapedStore(QSettings& store)
{
    store.sync();
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0) && !defined(Q_OS_WIN)
    QFile written(store.fileName());
    if (store.status() != QSettings::NoError || !written.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromUtf8(written.readAll());
    written.close();
    // Qt 5's escapes: "\x" and the hex number of each UTF-16 unit outside ASCII (DEL included),
    // and of a hex digit that follows an escape, so that it is not read as part of it. Qt 6
    // writes the same escapes for control characters; nothing else it writes is outside ASCII.
    QByteArray escaped;
    bool afterEscape = false;
    bool changed = false;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool hexDigit
            = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (u >= 0x7f || (afterEscape && hexDigit)) {
            escaped += "\\x" + QByteArray::number(u, 16);
            afterEscape = changed = true;
        } else {
            escaped += char(u);
            afterEscape = false;
        }
    }
    QSaveFile file(store.fileName());
    if (changed && file.open(QIODevice::WriteOnly) && file.write(escaped) == escaped.size())
        file.commit();
#endif
}

bool isUserStoreWritable(const QString& application)
{
#ifdef Q_OS_WIN
    Q_UNUSED(application);
    return true;
#else
    if (::geteuid() != 0)
        return true;
    QByteArray path = QFile::encodeName(userStorePath(application));
    while (path.size() > 1) {
        struct stat status;
        if (::lstat(path.constData(), &status) == 0 && status.st_uid != 0)
            return false;
        path.truncate(qMax(path.lastIndexOf('/'), 1));
    }
    return true;
#endif
}

} // namespace launcher
