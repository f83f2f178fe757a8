#pragma once

#include <QString>

namespace launcher {

// Paths in the launcher's configuration separate directories with a backslash as well as "/",
// and relative ones are taken from the launcher's own directory, never the working directory.

// The path with every backslash turned into "/".
QString configPath(const QString& path);

// The absolute form of a configuration path; an absolute path stays as it is.
QString resolveConfigPath(const QString& path);

} // namespace launcher
