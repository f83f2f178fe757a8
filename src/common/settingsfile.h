#pragma once

#include <QString>

class QSettings;

namespace launcher {

// The launcher's INI files: the built-in settings and how text in any of them is read.

// The built-in settings file, compiled into the program's resource tree.
QString builtInSettingsPath();

// Reads the built-in settings from `path` instead, from then on; an empty path brings the
// compiled-in file back. Only test programs call this: the launcher has no switch that leads here.
void setBuiltInSettingsPath(const QString& path);

// Prepares an INI settings object of the launcher's configuration: text outside ASCII is read as
// UTF-8, which is how a vendor's editor writes it (Qt 5 would otherwise read Latin-1).
void useUtf8(QSettings& settings);

} // namespace launcher
