// The string-table reader against the documents in data/, against hostile documents and files
// made at test time, and against directories and language codes that a query text could trip
// over.
#include "filefaults.h"
#include "i18n/stringtable.h"
#include "i18n/tableguard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextCodec>

#include <cstdio>
#include <memory>
#include <unistd.h>

using launcher::loadStringTable;

using Table = QMap<QString, QString>;

namespace {

// Everything written while it exists: both standard streams at the descriptor level (the query
// library prints there directly) and Qt's own messages.
class OutputCapture {
public:
    OutputCapture()
    {
        if (!file.open())
            return;
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut = ::dup(STDOUT_FILENO);
        savedErr = ::dup(STDERR_FILENO);
        ::dup2(file.handle(), STDOUT_FILENO);
        ::dup2(file.handle(), STDERR_FILENO);
        messages().clear();
        previous
            = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                  messages() += text.toUtf8() + '\n';
              });
        active = true;
    }
    ~OutputCapture() { finish(); }

    // What was written; a capture that could not be set up reports that instead.
    QByteArray finish()
    {
        if (!active)
            return file.isOpen() ? result : QByteArrayLiteral("<output capture failed>");
        active = false;
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(savedOut, STDOUT_FILENO);
        ::dup2(savedErr, STDERR_FILENO);
        ::close(savedOut);
        ::close(savedErr);
        qInstallMessageHandler(previous);
        file.seek(0);
        result = file.readAll() + messages();
        return result;
    }

private:
    static QByteArray& messages()
    {
        static QByteArray text;
        return text;
    }

    QTemporaryFile file;
    QtMessageHandler previous = nullptr;
    QByteArray result;
    int savedOut = -1;
    int savedErr = -1;
    bool active = false;
};

bool writeTable(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    const QByteArray xml = "<lum_objects><string><id>found</id><value>" + text.toUtf8()
        + "</value></string></lum_objects>";
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(xml) == xml.size();
}

QString tableFile(const QString& directory, const QString& language)
{
    return directory + QStringLiteral("/strings_") + language + QStringLiteral(".launcher.xml");
}

QByteArray encoded(const char* codec, const QString& text)
{
    return QTextCodec::codecForName(codec)->fromUnicode(text);
}

// The first entry in which two maps differ, for a failure message.
QString difference(const Table& actual, const Table& expected)
{
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()))
            return QString("\"%1\" is missing (%2 entries instead of %3)")
                .arg(it.key())
                .arg(actual.size())
                .arg(expected.size());
        if (actual.value(it.key()) != it.value())
            return QString("\"%1\" is \"%2\" instead of \"%3\"")
                .arg(it.key(), actual.value(it.key()).left(80), it.value().left(80));
    }
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
        if (!expected.contains(it.key()))
            return QString("unexpected \"%1\" = \"%2\" (%3 entries instead of %4)")
                .arg(it.key(), it.value().left(80))
                .arg(actual.size())
                .arg(expected.size());
    }
    return QString();
}

// What a hostile document points at. Its contents must never reach a table.
const QByteArray markerContents = "MARKER-3f9c2e: the contents of another file";

} // namespace

class tst_StringTable : public QObject {
    Q_OBJECT

private slots:
    void documents_data();
    void documents();
    void hostileDocuments_data();
    void hostileDocuments();
    void notATable_data();
    void notATable();
    void paths_data();
    void paths();
    void emptyDirectoryIsTheLaunchersDirectory();
};

void tst_StringTable::documents_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<Table>("before");
    QTest::addColumn<Table>("expected");

    const Table none;
    // Entries already in the map stay unless the file overrides them.
    const Table earlier { { "kept", "from before" }, { "twice", "from before" } };

    QTest::newRow("entries") << "basic" << none
                             << Table { { "lic_alpha", "Alpha" }, { "lic_beta", "Beta" } };
    QTest::newRow("first = ends the identifier")
        << "equals" << none << Table { { "x", "y=z" }, { "a", "b=c" }, { "", "==" } };
    QTest::newRow("absent and empty parts")
        << "absentparts" << none
        << Table { { "empty", "" }, { "novalue", "" }, { "", "no identifier" } };
    QTest::newRow("white space kept")
        << "whitespace" << none << Table { { " spaced", "\n  two\tlines  \n" } };
    QTest::newRow("later entry wins, earlier map kept")
        << "duplicate" << earlier
        << Table { { "kept", "from before" }, { "twice", "second" }, { "once", "only" } };
    QTest::newRow("string value of markup")
        << "markup" << none
        << Table { { "nested", "one two three four" }, { "escaped", "<b>bold</b>" },
               { "cdata", "<a href=\"x?a=1&b=2\">link</a>" },
               { "references", QString::fromUtf8("& \xe2\x98\xba \xc3\xa9") },
               { "comment", "before" } };
    QTest::newRow("only direct string children, only id and value")
        << "ignored" << none << Table { { "top", "entry" } };
    QTest::newRow("declared ISO-8859-1") << "latin1" << none
                                         << Table { { "latin1",
                                                QString::fromUtf8("caf\xc3\xa9 \xc3\xbc"
                                                                  "ber") } };
    QTest::newRow("declared UTF-16")
        << "utf16" << none
        << Table { { "utf16",
               QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xf0\x9f\x98\x80") } };
    QTest::newRow("no declaration is UTF-8")
        << "undeclared" << none
        << Table { { "utf8", QString::fromUtf8("caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac") } };

    // Each of these adds nothing at all, not even the file's correct entries.
    QTest::newRow("two ids in one entry") << "twoids" << earlier << earlier;
    QTest::newRow("two values in one entry") << "twovalues" << earlier << earlier;
    QTest::newRow("not well-formed") << "malformed" << earlier << earlier;
    QTest::newRow("other root") << "wrongroot" << earlier << earlier;
    QTest::newRow("root in a default namespace") << "namespace" << earlier << earlier;
    QTest::newRow("root with a namespace prefix") << "prefixed" << earlier << earlier;
    QTest::newRow("root without entries") << "noentries" << earlier << earlier;
    QTest::newRow("empty file") << "emptyfile" << earlier << earlier;
    QTest::newRow("missing file") << "missing" << earlier << earlier;
}

void tst_StringTable::documents()
{
    QFETCH(QString, language);
    QFETCH(Table, before);
    QFETCH(Table, expected);

    Table table = before;
    OutputCapture capture;
    loadStringTable(QStringLiteral(I18N_DATA_DIR), language, table);
    const QByteArray output = capture.finish();

    QVERIFY2(output.isEmpty(), "the reader printed: " + output);
    QCOMPARE(table, expected);
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        QVERIFY2(!it.value().isNull(), qPrintable("null text for \"" + it.key() + '"'));

    loadStringTable(QStringLiteral(I18N_DATA_DIR), language, table);
    QVERIFY2(table == expected, "reading the file a second time changed the map");
}

void tst_StringTable::hostileDocuments_data()
{
    // The document is head + `repeat` copies of unit + tail; "#" in the unit stands for the
    // copy's number. MARKER stands for the absolute path of a file beside the table that holds
    // markerContents, in the document and in the expected texts. `added` is what the file adds
    // to a map that already holds an entry.
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<Table>("added");

    const Table nothing;
    const QByteArray entry = "<string><id>plain</id><value>text</value></string>";
    const QByteArray body = "<lum_objects>" + entry + "</lum_objects>";
    const Table plain { { "plain", "text" } };
    const auto row = [](const char* name, const QByteArray& document, const Table& added) {
        QTest::newRow(name) << document << QByteArray() << 0 << QByteArray() << added;
    };

    // Encodings: the declaration or the byte-order mark decides; a wrong one adds nothing.
    const QString cafe = QString::fromUtf8("caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac");
    const QString cafeDocument
        = "<lum_objects><string><id>cafe</id><value>" + cafe + "</value></string></lum_objects>";
    const Table cafeTable { { "cafe", cafe } };
    const QByteArray bom = "\xef\xbb\xbf";
    row("UTF-8 byte-order mark and declaration",
        bom + "<?xml version='1.0' encoding='UTF-8'?>" + cafeDocument.toUtf8(), cafeTable);
    row("UTF-8 byte-order mark, no declaration", bom + cafeDocument.toUtf8(), cafeTable);
    row("UTF-16LE, no mark, no declaration", encoded("UTF-16LE", cafeDocument), cafeTable);
    row("UTF-16 with mark, declared UTF-16",
        encoded("UTF-16", "<?xml version='1.0' encoding='UTF-16'?>" + cafeDocument), cafeTable);
    row("UTF-32 with mark", encoded("UTF-32", cafeDocument), cafeTable);
    const QString japanese = QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e");
    row("declared Shift_JIS",
        encoded("Shift_JIS",
            "<?xml version='1.0' encoding='Shift_JIS'?><lum_objects><string><id>ja</id><value>"
                + japanese + "</value></string></lum_objects>"),
        { { "ja", japanese } });
    row("declared ISO-8859-1, written in UTF-8",
        "<?xml version='1.0' encoding='ISO-8859-1'?>" + cafeDocument.toUtf8(),
        { { "cafe", QString::fromLatin1(cafe.toUtf8()) } });
    row("declared encoding Qt does not know", "<?xml version='1.0' encoding='x-klingon-8'?>" + body,
        nothing);
    row("declared UTF-16, written in UTF-8", "<?xml version='1.0' encoding='UTF-16'?>" + body,
        nothing);
    row("UTF-8 mark, declared ISO-8859-1",
        bom + "<?xml version='1.0' encoding='ISO-8859-1'?>" + body, nothing);
    row("invalid UTF-8",
        "<lum_objects><string><id>x</id><value>caf\xe9</value></string></lum_objects>", nothing);
    const QByteArray withNul = "<lum_objects><string><id>x</id><value>a#b</value></string>"
                               "</lum_objects>";
    row("NUL byte", QByteArray(withNul).replace('#', '\0'), nothing);

    // Document type declarations: entities and external subsets are refused with the table.
    QByteArray laughs = "<!ENTITY l0 \"lollollollollollollollollollol\">";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \""
            + ("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    row("billion laughs",
        "<!DOCTYPE lum_objects [" + laughs
            + "]><lum_objects><string><id>bomb</id><value>&l9;</value></string>" + entry
            + "</lum_objects>",
        nothing);
    QTest::newRow("quadratic blowup")
        << "<!DOCTYPE lum_objects [<!ENTITY e \"" + QByteArray(4000, 'x')
            + "\">]><lum_objects><string><id>blowup</id><value>"
        << QByteArray("&e;") << 20000 << QByteArray("</value></string></lum_objects>") << nothing;
    row("one small internal entity",
        "<!DOCTYPE lum_objects [<!ENTITY e \"small\">]>"
        "<lum_objects><string><id>e</id><value>&e;</value></string></lum_objects>",
        nothing);
    row("external entity, absolute",
        "<!DOCTYPE lum_objects [<!ENTITY x SYSTEM \"file://MARKER\">]>"
        "<lum_objects><string><id>x</id><value>&x;</value></string>"
            + entry + "</lum_objects>",
        nothing);
    row("external entity, relative",
        "<!DOCTYPE lum_objects [<!ENTITY x SYSTEM \"marker.txt\">]>"
        "<lum_objects><string><id>x</id><value>&x;</value></string></lum_objects>",
        nothing);
    row("parameter entity",
        "<!DOCTYPE lum_objects [<!ENTITY % p SYSTEM \"file://MARKER\"> %p;]>" + body, nothing);
    row("external DTD", "<!DOCTYPE lum_objects SYSTEM \"file://MARKER\">" + body, nothing);
    row("public DTD", "<!DOCTYPE lum_objects PUBLIC \"-//Nimbrel//x\" \"marker.txt\">" + body,
        nothing);
    row("bare document type", "<?xml version='1.0'?>\n<!DOCTYPE lum_objects>\n" + body, plain);
    row("lower-case document type", "<!doctype lum_objects>" + body, nothing);
    row("empty internal subset", "<!DOCTYPE lum_objects[]>" + body, nothing);

    // References to other files inside a table are text or ignored markup.
    row("XInclude in a value",
        "<lum_objects xmlns:xi='http://www.w3.org/2001/XInclude'><string><id>xi</id><value>"
        "<xi:include href='file://MARKER' parse='text'/></value></string>"
            + entry + "</lum_objects>",
        { { "xi", "" }, { "plain", "text" } });
    row("doc() as text, xml:base",
        "<lum_objects xml:base='file://MARKER'><string><id>doc</id>"
        "<value>doc('MARKER')</value></string></lum_objects>",
        { { "doc", "doc('MARKER')" } });
    row("stylesheet and schema references",
        "<?xml-stylesheet type='text/xsl' href='file://MARKER'?><lum_objects "
        "xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
        "xsi:noNamespaceSchemaLocation='file://MARKER'>"
            + entry + "</lum_objects>",
        plain);

    // Markup whose checks grow with the square of its size, and markup that only looks like it.
    QByteArray attributes;
    for (int i = 0; i < launcher::maxTableAttributes; ++i)
        attributes += " a" + QByteArray::number(i) + "='" + QByteArray::number(i) + "'";
    row("most attributes on one element",
        "<lum_objects><string" + attributes
            + "><id>plain</id><value>text</value></string></lum_objects>",
        plain);
    row("one attribute too many",
        "<lum_objects><string" + attributes
            + " extra=''><id>plain</id><value>text</value></string></lum_objects>",
        nothing);
    QTest::newRow("attribute bomb")
        << QByteArray("<lum_objects><string") << QByteArray(" a#=''") << 100000
        << QByteArray("><id>plain</id><value>text</value></string></lum_objects>") << nothing;
    QTest::newRow("most namespace declarations")
        << "<lum_objects>" + entry << QByteArray("<n xmlns:p#='urn:n'/>")
        << launcher::maxTableNamespaceDeclarations << QByteArray("</lum_objects>") << plain;
    QTest::newRow("one namespace declaration too many")
        << "<lum_objects>" + entry << QByteArray("<n xmlns:p#='urn:n'/>")
        << launcher::maxTableNamespaceDeclarations + 1 << QByteArray("</lum_objects>") << nothing;
    QTest::newRow("namespace bomb")
        << QByteArray("<lum_objects>") << QByteArray("<n xmlns:p#='urn:n'>") << 40000
        << QByteArray("<p0:x/>").repeated(100000) + QByteArray("</n>").repeated(40000) + entry
            + "</lum_objects>"
        << nothing;
    row("'>', '=' and quotes in attribute values",
        "<lum_objects><string a='x>y=z' b=\"'>'\" c = '\"'><id>plain</id><value>text</value>"
        "</string></lum_objects>",
        plain);
    row("markup in comments, CDATA and instructions",
        "<lum_objects><!-- <string " + attributes + attributes + "> --><?pi <x a='1' b='1'>?>"
            + entry + "<string><id>cdata</id><value><![CDATA[<a" + attributes + attributes
            + ">]]></value></string></lum_objects>",
        { { "plain", "text" },
            { "cdata", QString::fromLatin1("<a" + attributes + attributes + ">") } });
    QTest::newRow("deep nesting in a value")
        << QByteArray("<lum_objects><string><id>deep</id><value>") << QByteArray("<a>") << 10000
        << QByteArray("x") + QByteArray("</a>").repeated(10000) + "</value></string></lum_objects>"
        << Table { { "deep", "x" } };
    row("unterminated comment", "<lum_objects>" + entry + "<!-- </lum_objects>", nothing);
    row("cut off in a tag", body.left(body.size() - 5), nothing);

    // Size: a far larger table than any genuine one is not read at all.
    const QByteArray bigHead = "<lum_objects><string><id>big</id><value>";
    const QByteArray bigTail = "</value></string></lum_objects>";
    const int largest = int(launcher::maxStringTableSize) - bigHead.size() - bigTail.size();
    QTest::newRow("largest table read") << bigHead << QByteArray("y") << largest << bigTail
                                        << Table { { "big", QString(largest, 'y') } };
    QTest::newRow("one byte too large")
        << bigHead << QByteArray("y") << largest + 1 << bigTail << nothing;
    QTest::newRow("50 MiB") << QByteArray("<lum_objects>") << entry
                            << 50 * 1024 * 1024 / entry.size() << QByteArray("</lum_objects>")
                            << nothing;
    Table many;
    for (int i = 0; i < 100000; ++i)
        many.insert(QString("lic_bench_%1").arg(i), QString("Text number %1 of the table").arg(i));
    QTest::newRow("100,000 entries")
        << QByteArray("<lum_objects>\n")
        << QByteArray("  <string><id>lic_bench_#</id><value>Text number # of the table</value>"
                      "</string>\n")
        << 100000 << QByteArray("</lum_objects>\n") << many;
}

void tst_StringTable::hostileDocuments()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, unit);
    QFETCH(int, repeat);
    QFETCH(QByteArray, tail);
    QFETCH(Table, added);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString marker = dir.filePath("marker.txt");
    QFile markerFile(marker);
    QVERIFY(markerFile.open(QIODevice::WriteOnly) && markerFile.write(markerContents) > 0);
    markerFile.close();

    QByteArray document = head;
    if (unit.contains('#')) {
        for (int i = 0; i < repeat; ++i)
            document += QByteArray(unit).replace('#', QByteArray::number(i));
    } else {
        document += unit.repeated(repeat);
    }
    document += tail;
    document.replace("MARKER", QFile::encodeName(marker));
    QFile table(tableFile(dir.path(), "hostile"));
    QVERIFY(table.open(QIODevice::WriteOnly) && table.write(document) == document.size());
    table.close();
    document.clear();

    Table expected { { "kept", "from before" } };
    for (auto it = added.cbegin(); it != added.cend(); ++it)
        expected.insert(it.key(), QString(it.value()).replace("MARKER", marker));

    OpenWatch watch({ dir.path() });
    QVERIFY(watch.isValid());
    Table result { { "kept", "from before" } };
    OutputCapture capture;
    loadStringTable(dir.path(), "hostile", result);
    const QByteArray output = capture.finish();

    QVERIFY2(output.isEmpty(), "the reader printed: " + output);
    for (const QString& name : watch.openedFiles())
        QVERIFY2(name == QFileInfo(table).fileName(), qPrintable("the reader opened " + name));
    for (auto it = result.cbegin(); it != result.cend(); ++it) {
        QVERIFY2(!it.value().contains(markerContents),
            qPrintable("another file's contents reached the entry " + it.key()));
    }
    QVERIFY2(result == expected, qPrintable(difference(result, expected)));
}

void tst_StringTable::notATable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Table>("added");

    QTest::newRow("a directory") << "directory" << Table();
    QTest::newRow("a FIFO") << "fifo" << Table();
    QTest::newRow("a device") << "device" << Table();
    QTest::newRow("a dangling link") << "dangling" << Table();
    QTest::newRow("a file without read permission") << "unreadable" << Table();
    QTest::newRow("a link to a table") << "link" << Table { { "found", "linked" } };
}

void tst_StringTable::notATable()
{
    QFETCH(QString, kind);
    QFETCH(Table, added);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = tableFile(dir.path(), "odd");
    std::unique_ptr<Fifo> fifo;
    std::unique_ptr<PermissionsBind> permissions;
    if (kind == "directory") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "fifo") {
        // A reader blocked on it is set free after 3 s, and the test fails.
        fifo.reset(new Fifo(path, 3000));
        QVERIFY(fifo->isValid());
    } else if (kind == "device") {
        QVERIFY(QFile::link("/dev/zero", path));
    } else if (kind == "dangling") {
        QVERIFY(QFile::link(dir.filePath("nowhere.xml"), path));
    } else if (kind == "link") {
        QVERIFY(writeTable(dir.filePath("elsewhere.xml"), "linked"));
        QVERIFY(QFile::link(dir.filePath("elsewhere.xml"), path));
    } else if (kind == "unreadable") {
        QVERIFY(writeTable(path, "unreadable"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        permissions.reset(new PermissionsBind);
        if (!permissions->isActive())
            QSKIP("running as root, and the capabilities that let root read any file cannot be "
                  "dropped here");
        if (QFile(path).open(QIODevice::ReadOnly))
            QSKIP("file permissions do not stop this process from reading");
    }

    Table table { { "kept", "yes" } };
    OutputCapture capture;
    loadStringTable(dir.path(), "odd", table);
    QCOMPARE(capture.finish(), QByteArray());
    permissions.reset();
    if (fifo)
        QVERIFY2(!fifo->released(), "the reader blocked on a FIFO until the test set it free");

    Table expected { { "kept", "yes" } };
    expected.insert(added);
    QCOMPARE(table, expected);
}

void tst_StringTable::paths_data()
{
    // `directory` is given relative to the launcher's directory, or absolute when `absolute` is
    // set, with the fixture's root in place of "ROOT". `tableAt` is where the table that should
    // be read lies, relative to ROOT; empty when nothing must be read.
    QTest::addColumn<QString>("directory");
    QTest::addColumn<bool>("absolute");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("tableAt");

    QTest::newRow("relative") << "ROOT/tables" << false << "xx"
                              << "tables";
    QTest::newRow("absolute") << "ROOT/tables" << true << "xx"
                              << "tables";
    QTest::newRow("backslash, relative") << "ROOT\\a\\b" << false << "xx"
                                         << "a/b";
    QTest::newRow("backslash, absolute") << "ROOT\\a\\b" << true << "xx"
                                         << "a/b";
    QTest::newRow("trailing separator") << "ROOT\\tables\\" << false << "xx"
                                        << "tables";
    QTest::newRow("apostrophe in directory") << "ROOT/it's" << false << "xx"
                                             << "it's";
    QTest::newRow("ampersand in directory") << "ROOT/a&b" << true << "xx"
                                            << "a&b";
    QTest::newRow("URL characters in directory") << "ROOT/50% #1?" << true << "xx"
                                                 << "50% #1?";
    // Directory names that would end the string literal or change the query if they were
    // pasted into the query text.
    QTest::newRow("quotes in directory") << "ROOT/say \"it's\"" << true << "xx"
                                         << "say \"it's\"";
    QTest::newRow("braces in directory") << "ROOT/{x}}{" << true << "xx"
                                         << "{x}}{";
    QTest::newRow("doc() in directory") << "ROOT/') | doc('x" << true << "xx"
                                        << "') | doc('x";
    QTest::newRow("newline in directory") << "ROOT/a\nb" << false << "xx"
                                          << "a\nb";
    QTest::newRow("entity in directory") << "ROOT/&amp;&#x3c;" << true << "xx"
                                         << "&amp;&#x3c;";
    QTest::newRow("variable in directory") << "ROOT/$table" << true << "xx"
                                           << "$table";
    QTest::newRow("non-ASCII directory") << QString::fromUtf8("ROOT/\xc3\x9c"
                                                              "bersetzungen")
                                         << false << "xx"
                                         << QString::fromUtf8("\xc3\x9c"
                                                              "bersetzungen");

    // Language codes that would end the string literal or change the query if they were pasted
    // into the query text. Each names its own file and nothing else.
    const QStringList hostile {
        "o'brien",
        "x&y",
        "&amp;",
        "say \"hi\"",
        "{1}",
        "}",
        "'}{doc('x')}",
        "x') | doc('strings_en_US",
        "a\nb",
        "%41#b?c",
        " ",
        QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac"),
    };
    for (const QString& language : hostile) {
        const QByteArray name = language.toUtf8().replace('\n', "\\n");
        QTest::newRow(("language " + name).constData()) << "ROOT/t" << true << language << "t";
        QTest::newRow(("missing, language " + name).constData())
            << "ROOT/t" << true << language << QString();
    }
    // Pasted into the query, this would read the bait file ROOT/t/strings_x and the en_US decoy
    // beside it.
    QTest::newRow("language reaching for another table")
        << "ROOT/t" << true << "x') | doc('ROOT/t/strings_en_US" << QString();
}

void tst_StringTable::paths()
{
    QFETCH(QString, directory);
    QFETCH(bool, absolute);
    QFETCH(QString, language);
    QFETCH(QString, tableAt);

    // Inside the launcher's directory so that relative directories reach it.
    QTemporaryDir root(QCoreApplication::applicationDirPath() + "/stringtable-XXXXXX");
    QTemporaryDir workingDir;
    QVERIFY(root.isValid() && workingDir.isValid());
    const QString rootName = QFileInfo(root.path()).fileName();
    const QString argument = directory.replace("ROOT", absolute ? root.path() : rootName);
    language.replace("ROOT", root.path());

    // Decoys: the fallback table and a bait file beside the target, and the same relative path
    // under the working directory, which relative directories must never reach.
    const QString tableDir = root.path() + "/" + (tableAt.isEmpty() ? QString("t") : tableAt);
    QVERIFY(writeTable(tableFile(tableDir, "en_US"), "en_US decoy"));
    QVERIFY(writeTable(tableDir + "/strings_x", "bait"));
    if (!tableAt.isEmpty()) {
        QVERIFY2(writeTable(tableFile(tableDir, language), "target"), "cannot write the table");
        QVERIFY(writeTable(tableFile(workingDir.path() + "/" + rootName + "/" + tableAt, language),
            "working directory"));
    }

    const QString previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workingDir.path()));
    Table table { { "kept", "yes" } };
    OutputCapture capture;
    loadStringTable(argument, language, table);
    const QByteArray output = capture.finish();
    QDir::setCurrent(previousDir);

    QVERIFY2(output.isEmpty(), "the reader printed: " + output);
    Table expected { { "kept", "yes" } };
    if (!tableAt.isEmpty())
        expected.insert("found", "target");
    QCOMPARE(table, expected);
}

void tst_StringTable::emptyDirectoryIsTheLaunchersDirectory()
{
    QTemporaryFile file(QCoreApplication::applicationDirPath() + "/strings_XXXXXX.launcher.xml");
    QVERIFY(file.open());
    const QString name = QFileInfo(file.fileName()).fileName();
    const QString language = name.mid(8, name.size() - 8 - 13);
    QVERIFY(writeTable(file.fileName(), "beside the launcher"));

    QTemporaryDir workingDir;
    QVERIFY(writeTable(tableFile(workingDir.path(), language), "working directory"));
    const QString previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workingDir.path()));
    Table table;
    loadStringTable(QString(), language, table);
    QDir::setCurrent(previousDir);
    QCOMPARE(table, Table({ { "found", "beside the launcher" } }));
}

QTEST_GUILESS_MAIN(tst_StringTable)
#include "tst_stringtable.moc"
