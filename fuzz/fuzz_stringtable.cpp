// The string-table reader over arbitrary file contents: it agrees, entry for entry, with the XML
// query that the table format is defined by (for every document the guard lets through), keeps
// what the map held, and never hands it a null text.
#include "i18n/stringtable.h"
#include "i18n/tableguard.h"

#include <QAbstractMessageHandler>
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlQuery>

#include <cstdint>
#include <cstdlib>

namespace {

class Silent : public QAbstractMessageHandler {
    void handleMessage(QtMsgType, const QString&, const QUrl&, const QSourceLocation&) override { }
};

QMap<QString, QString> queried(QByteArray document)
{
    QBuffer device(&document);
    device.open(QIODevice::ReadOnly);
    Silent silent;
    QXmlQuery query;
    query.setMessageHandler(&silent);
    query.bindVariable("table", &device);
    query.setQuery("for $s in doc($table)/lum_objects/string "
                   "return concat(data($s/id), '=', data($s/value))");
    QStringList entries;
    QMap<QString, QString> table { { "\x01kept", "kept" } };
    if (launcher::isTameTable(document) && query.evaluateTo(&entries))
        for (const QString& entry : qAsConst(entries))
            table.insert(entry.section('=', 0, 0), entry.section('=', 1));
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_stringtable";
    static char* argv[] = { name, nullptr };
    static QCoreApplication application(argc, argv);
    static QTemporaryDir dir;
    const QByteArray document(reinterpret_cast<const char*>(data), int(size));
    QFile file(dir.filePath("strings_x.launcher.xml"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(document) != document.size())
        std::abort();
    file.close();
    QMap<QString, QString> table { { "\x01kept", "kept" } };
    launcher::loadStringTable(dir.path(), "x", table);
    for (const QString& text : qAsConst(table))
        if (text.isNull())
            std::abort();
    if (table != queried(document))
        std::abort();
    return 0;
}
