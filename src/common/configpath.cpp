#include "configpath.h"

#include "launcherpath.h"

#include <QDir>
#include <QFile>
#include <QSettings>

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

void useUtf8(QSettings& settings) { settings.setIniCodec("UTF-8"); }

} // namespace launcher
