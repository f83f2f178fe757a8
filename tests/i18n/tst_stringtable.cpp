// The string-table reader against the documents in data/ and against directories and language
// codes that a query text could trip over.
#include "i18n/stringtable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
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

} // namespace

class tst_StringTable : public QObject {
    Q_OBJECT

private slots:
    void documents_data();
    void documents();
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

    // A directory where the table should be is not a table.
    QTemporaryDir root(QCoreApplication::applicationDirPath() + "/stringtable-XXXXXX");
    QVERIFY(QDir().mkpath(tableFile(root.path(), "dir")));
    OutputCapture capture;
    loadStringTable(root.path(), "dir", table);
    QCOMPARE(capture.finish(), QByteArray());
    QCOMPARE(table, Table({ { "found", "beside the launcher" } }));
}

QTEST_GUILESS_MAIN(tst_StringTable)
#include "tst_stringtable.moc"
