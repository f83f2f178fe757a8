// The string-table reader over arbitrary file contents. Each input becomes the one table file in
// a directory that this process makes once; beside it lies a file that a table may point at but
// must never reach. The guard in front of the query is also checked against Qt's XML reader,
// which the query parses with: on every well-formed document they must agree.
#include "i18n/stringtable.h"
#include "i18n/tableguard.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <algorithm>

#include <cstdint>
#include <cstdlib>

namespace {

const char marker[] = "MARKER-3f9c2e";

// An identifier that no table can hold (XML has no character U+0001), so it must survive every
// read.
const QString earlier = QStringLiteral("\x01kept");

struct Fixture {
    Fixture()
    {
        QFile beside(dir.filePath(QStringLiteral("marker.txt")));
        if (!dir.isValid() || !beside.open(QIODevice::WriteOnly) || beside.write(marker) < 0)
            std::abort();
    }

    int argc = 1;
    char name[17] = "fuzz_stringtable";
    char* argv[2] = { name, nullptr };
    // The reader takes relative paths from the program's directory.
    QCoreApplication app { argc, argv };
    QTemporaryDir dir;
    QString table = dir.filePath(QStringLiteral("strings_fuzz.launcher.xml"));
};

// Whether the guard should let a document through, as Qt's XML reader sees it; a document the
// reader finds not well-formed is left out, since the query refuses it anyway.
enum class Verdict { tame, refuse, notWellFormed };

Verdict readerVerdict(const QByteArray& bytes)
{
    static const QRegularExpression bareDoctype(
        QStringLiteral("^<!DOCTYPE[ \\t\\r\\n]+[^ \\t\\r\\n>\\[\\]'\"]+[ \\t\\r\\n]*>$"));
    QXmlStreamReader reader(bytes);
    bool tame = true;
    int namespaceDeclarations = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            tame = tame && bareDoctype.match(reader.text()).hasMatch();
            break;
        case QXmlStreamReader::StartElement: {
            const int declared = reader.namespaceDeclarations().size();
            namespaceDeclarations += declared;
            tame = tame && reader.attributes().size() + declared <= launcher::maxTableAttributes
                && namespaceDeclarations <= launcher::maxTableNamespaceDeclarations;
            break;
        }
        default:
            break;
        }
    }
    if (reader.hasError())
        return Verdict::notWellFormed;
    return tame ? Verdict::tame : Verdict::refuse;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Fixture fixture;

    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const Verdict verdict = readerVerdict(bytes);
    if (verdict != Verdict::notWellFormed
        && launcher::isTameTable(bytes) != (verdict == Verdict::tame))
        std::abort(); // the guard sees the document otherwise than the parser does

    QFile file(fixture.table);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();

    QMap<QString, QString> table { { earlier, QStringLiteral("before") } };
    launcher::loadStringTable(fixture.dir.path(), QStringLiteral("fuzz"), table);

    if (table.value(earlier) != QLatin1String("before"))
        std::abort(); // the map was cleared or lost an entry
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it.key().isNull() || it.value().isNull())
            std::abort(); // Qt would take a null text for "no translation"
        if (it.key().contains(QLatin1Char('=')))
            std::abort(); // the first "=" of an entry ends its identifier
        if (it.value().contains(QLatin1String(marker)))
            std::abort(); // another file's contents reached a table
    }

    // Reading the same file again changes nothing.
    QMap<QString, QString> again = table;
    launcher::loadStringTable(fixture.dir.path(), QStringLiteral("fuzz"), again);
    if (again != table)
        std::abort();
    return 0;
}
