#include "settingsfile.h"

#include <QSettings>

namespace launcher {

namespace {

    // Function-local, so that it is ready even when a test program sets it during static
    // initialisation.
    QString& settingsPathOverride()
    {
        static QString path;
        return path;
    }

} // namespace

QString builtInSettingsPath()
{
    const QString& path = settingsPathOverride();
    return path.isEmpty() ? QStringLiteral(":/launcher/settings/settings.ini") : path;
}

void setBuiltInSettingsPath(const QString& path) { settingsPathOverride() = path; }

void useUtf8(QSettings& settings) { settings.setIniCodec("UTF-8"); }

} // namespace launcher
