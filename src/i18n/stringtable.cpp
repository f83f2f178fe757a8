#include "stringtable.h"

#include "common/configpath.h"
#include "tableguard.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>

namespace launcher {

namespace {

    bool inNoNamespace(const QXmlStreamReader& xml, const char* name)
    {
        return xml.name() == QLatin1String(name) && xml.namespaceUri().isEmpty();
    }

    // The entries of a table as the query "for $s in doc(...)/lum_objects/string return
    // concat(data($s/id), '=', data($s/value))" gives them, split at their first "=", in
    // document order: the string elements directly below a root lum_objects, both
    // in no namespace, and the string value of each one's id and value children (all the character
    // data inside, of nested elements too). concat() takes at most one item per argument, so an
    // entry with a second id or value fails the whole document, as anything that is not
    // well-formed does. Read by Qt's stream reader, the one the query library parses with, without
    // building the document or a query engine: a table costs time in proportion to its size.
    bool readEntries(const QByteArray& bytes, QVector<QPair<QString, QString>>& entries)
    {
        QXmlStreamReader xml(bytes);
        int depth = 0;
        bool inRoot = false, inEntry = false;
        QString* part = nullptr; // the id or value being read
        QString id, value;
        int ids = 0, values = 0;
        while (!xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::StartElement:
                ++depth;
                if (depth == 1) {
                    inRoot = inNoNamespace(xml, "lum_objects");
                } else if (depth == 2 && inRoot && inNoNamespace(xml, "string")) {
                    inEntry = true;
                    id.clear(), value.clear(), ids = values = 0;
                } else if (depth == 3 && inEntry && inNoNamespace(xml, "id")) {
                    part = &id, ++ids;
                } else if (depth == 3 && inEntry && inNoNamespace(xml, "value")) {
                    part = &value, ++values;
                }
                break;
            case QXmlStreamReader::EndElement:
                if (depth == 3)
                    part = nullptr;
                if (depth == 2 && inEntry) {
                    if (ids > 1 || values > 1)
                        return false;
                    // The first "=" of "identifier=text" ends the identifier, also one in the id.
                    const int equals = id.indexOf(QLatin1Char('='));
                    if (equals < 0)
                        entries.append({ id, value });
                    else
                        entries.append(
                            { id.left(equals), id.mid(equals + 1) + QLatin1Char('=') + value });
                    inEntry = false;
                }
                --depth;
                break;
            case QXmlStreamReader::Characters:
                if (part)
                    part->append(xml.text());
                break;
            default:
                break;
            }
        }
        return !xml.hasError();
    }

    // An empty id or value reads as a null string, and a null text must never reach the map: Qt
    // takes it for "no translation".
    QString nonNull(const QString& text) { return text.isNull() ? QStringLiteral("") : text; }

    QString stringTablePath(const QString& directory, const QString& language)
    {
        const QString dir = directory.isEmpty() ? QStringLiteral(".") : configPath(directory);
        // Only the directory follows the configuration's path rules; the language code is part of
        // the file name as given.
        const QString path
            = dir + QLatin1Char('/') + QStringLiteral("strings_%1.launcher.xml").arg(language);
        return resolveConfigPath(path);
    }

    // The whole table, or false. Only a regular file is opened: a FIFO where the table should be
    // would block the launcher on opening it, and a device could be read for ever.
    bool readTable(const QString& path, QByteArray& bytes)
    {
        // A NUL (a stored language may hold one) names no file; Qt would complain aloud.
        if (path.contains(QChar::Null))
            return false;
        const QFileInfo info(path);
        if (!info.isFile() || info.size() > maxStringTableSize)
            return false;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.read(maxStringTableSize + 1); // the file may have grown since
        return bytes.size() <= maxStringTableSize;
    }

} // namespace

void loadStringTable(
    const QString& directory, const QString& language, QMap<QString, QString>& table)
{
    QByteArray bytes;
    if (!readTable(stringTablePath(directory, language), bytes) || !isTameTable(bytes))
        return;
    QVector<QPair<QString, QString>> entries;
    if (!readEntries(bytes, entries))
        return;
    for (const auto& entry : qAsConst(entries))
        table.insert(nonNull(entry.first), nonNull(entry.second));
}

} // namespace launcher
