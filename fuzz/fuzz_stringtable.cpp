// The string-table reader over arbitrary file contents: whatever the document, the reader ends,
// never hands the map a null text, and adds nothing unless the guard let the document through.
#include "i18n/stringtable.h"
#include "i18n/tableguard.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

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
    if (table.value("\x01kept") != "kept" || (table.size() > 1 && !launcher::isTameTable(document)))
        std::abort();
    for (const QString& text : qAsConst(table))
        if (text.isNull())
            std::abort();
    return 0;
}
