#include "stringtable.h"

#include "common/configpath.h"
#include "tableguard.h"

#include <QAbstractMessageHandler>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QXmlQuery>

namespace launcher {

namespace {

    // The query library prints its own errors (a broken table, an entry with two ids) to
    // standard error. The launcher's only diagnostic is the update check's line, so they end
    // here.
    class SilentMessageHandler : public QAbstractMessageHandler {
    protected:
        void handleMessage(QtMsgType, const QString&, const QUrl&, const QSourceLocation&) override
        {
        }
    };

    // The table is handed to the query as a bound device, never as text inside the query: no
    // directory or language code can change what the query does, and apostrophes, ampersands,
    // "#" or "%" in a path need no escaping. The device holds the bytes that were checked, so the
    // query parses exactly those. concat() takes at most one item per argument, so an
    // entry with a second id or value fails the whole run and the file adds nothing.
    const char tableQuery[] = "for $s in doc($table)/lum_objects/string "
                              "return concat(data($s/id), '=', data($s/value))";

    // section() answers a null string for a section that is not there. Every entry holds its "=",
    // but a null text must never reach the map: Qt takes it for "no translation".
    QString nonNull(const QString& text) { return text.isNull() ? QStringLiteral("") : text; }

    QString stringTablePath(const QString& directory, const QString& language)
    {
        const QString dir = directory.isEmpty() ? QStringLiteral(".") : configPath(directory);
        // Only the directory follows the configuration's path rules; the language code is part of
        // the file name as given.
        const QString path
            = dir + QLatin1Char('/') + QStringLiteral("strings_%1.launcher.xml").arg(language);
        return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(path);
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
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);

    SilentMessageHandler silent;
    QXmlQuery query;
    query.setMessageHandler(&silent);
    query.bindVariable(QStringLiteral("table"), &device);
    query.setQuery(QString::fromLatin1(tableQuery), QUrl());
    if (!query.isValid())
        return;

    QStringList entries;
    if (!query.evaluateTo(&entries))
        return;

    const QChar separator = QLatin1Char('=');
    for (const QString& entry : qAsConst(entries))
        table.insert(nonNull(entry.section(separator, 0, 0)), nonNull(entry.section(separator, 1)));
}

} // namespace launcher
