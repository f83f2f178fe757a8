#include "userstore.h"

#include "configpath.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace launcher {

const QString organizationName = QStringLiteral("Nimbrel");

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

std::unique_ptr<QSettings> openUserStore(const QString& application)
{
#ifdef Q_OS_WIN
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
    useUtf8(*store);
    return store;
#endif
}

} // namespace launcher
