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

// Qt 6 reads and writes INI files as UTF-8 and has no codec to set.
void useUtf8([[maybe_unused]] QSettings& settings)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    settings.setIniCodec("UTF-8");
#endif
}

} // namespace launcher
