#pragma once

#include <QMap>
#include <QString>

namespace launcher {

// Reads the string table "strings_<language>.launcher.xml" in `directory` into `table`: one text
// per identifier, later entries winning. The table is not cleared first. A table that cannot be
// read (missing, not a regular file, larger than maxStringTableSize, not well-formed, an entry
// with two ids or two values, or refused by isTameTable) adds nothing and says nothing. A
// relative directory is taken from the launcher's own directory, an empty one is that directory
// itself, and a backslash in it separates directories.
void loadStringTable(
    const QString& directory, const QString& language, QMap<QString, QString>& table);

// A genuine table holds a few kilobytes; one of 100,000 entries stays under 10 MiB. A larger
// file is not read at all, so that no table can hold up the launch for long or fill its memory.
constexpr qint64 maxStringTableSize = 16 * 1024 * 1024;

} // namespace launcher
