#pragma once

#include <QString>

class QSettings;

namespace launcher {

// Paths in the launcher's configuration separate directories with a backslash as well as "/",
// and relative ones are taken from the launcher's own directory, never the working directory.

// The path with every backslash turned into "/".
QString configPath(const QString& path);

// The absolute form of a configuration path; an absolute path stays as it is.
QString resolveConfigPath(const QString& path);

// The built-in settings file, compiled into the program's resource tree.
inline QString builtInSettingsPath() { return QStringLiteral(":/launcher/settings/settings.ini"); }

// Prepares an INI settings object of the launcher's configuration: text outside ASCII is read as
// UTF-8, which is how a vendor's editor writes it (Qt 5 would otherwise read Latin-1).
void useUtf8(QSettings& settings);

} // namespace launcher
