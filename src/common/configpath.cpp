#include "configpath.h"

#include "launcherpath.h"

#include <QDir>

namespace launcher {

QString configPath(const QString& path)
{
    QString result = path;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return result;
}

QString resolveConfigPath(const QString& path)
{
    return QDir(launcherDirectory()).absoluteFilePath(configPath(path));
}

} // namespace launcher
