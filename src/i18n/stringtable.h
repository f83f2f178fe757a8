#pragma once

#include <QMap>
#include <QString>

namespace launcher {

// Reads the string table "strings_<language>.launcher.xml" in `directory` into `table`: one text
// per identifier, later entries winning. The table is not cleared first. A table that cannot be
// read (missing, not well-formed, an entry with two ids or two values) adds nothing and says
// nothing. A relative directory is taken from the launcher's own directory, an empty one is that
// directory itself, and a backslash in it separates directories.
void loadStringTable(
    const QString& directory, const QString& language, QMap<QString, QString>& table);

} // namespace launcher
