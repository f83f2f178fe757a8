// How a string table is read into the map: the entry rules on the documents in data/, and the
// documents and files that must add nothing at all, not even their correct entries; which
// languages are written right to left.
#include "i18n/launchertranslator.h"
#include "i18n/stringtable.h"
#include "i18n/tableguard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Table = QMap<QString, QString>;

class tst_StringTable : public QObject {
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void rightToLeft_data();
    void rightToLeft();
};

void tst_StringTable::rightToLeft_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("rightToLeft");
    for (const char* code : { "he_IL", "ar", "fa-IR", "UR_pk", "iw", "yi", "ckb_IQ", "ps.UTF-8" })
        QTest::newRow(code) << code << true;
    for (const char* code : { "en_US", "", "hero", "de_he", "_he", "ja_JP@ar" })
        QTest::newRow(code) << code << false;
}

void tst_StringTable::rightToLeft()
{
    QFETCH(QString, language);
    QTEST(launcher::isRightToLeft(language), "rightToLeft");
}

void tst_StringTable::read_data()
{
    QTest::addColumn<QString>("language"); // of a file in data/
    QTest::addColumn<Table>("added"); // to a map that holds "kept" and "twice" already

    QTest::newRow("entries") << "basic"
                             << Table { { "lic_alpha", "Alpha" }, { "lic_beta", "Beta" } };
    QTest::newRow("the first = ends the identifier")
        << "equals" << Table { { "x", "y=z" }, { "a", "b=c" }, { "", "==" } };
    QTest::newRow("absent and empty parts")
        << "absentparts" << Table { { "empty", "" }, { "novalue", "" }, { "", "no identifier" } };
    QTest::newRow("white space kept")
        << "whitespace" << Table { { " spaced", "\n  two\tlines  \n" } };
    QTest::newRow("the later entry wins")
        << "duplicate" << Table { { "twice", "second" }, { "once", "only" } };
    QTest::newRow("string value of markup")
        << "markup"
        << Table { { "nested", "one two three four" }, { "escaped", "<b>bold</b>" },
               { "cdata", "<a href=\"x?a=1&b=2\">link</a>" }, { "references", "& \u263a \u00e9" },
               { "comment", "before" } };
    QTest::newRow("only direct string children, only id and value")
        << "ignored" << Table { { "top", "entry" } };
    QTest::newRow("declared ISO-8859-1")
        << "latin1" << Table { { "latin1", "caf\u00e9 \u00fcber" } };
    QTest::newRow("declared Shift_JIS, which Qt 6 decodes through ICU")
        << "shiftjis" << Table { { "shiftjis", "\u65e5\u672c\u8a9e" } };
    QTest::newRow("declared UTF-16")
        << "utf16" << Table { { "utf16", "\u65e5\u672c\u8a9e \U0001F600" } };
    QTest::newRow("UTF-16, big-endian with its mark")
        << "utf16be" << Table { { "utf16be", "\u65e5\u672c" } };
    QTest::newRow("UTF-32, big-endian without a mark")
        << "utf32be" << Table { { "utf32be", "\u65e5\u672c" } };
    QTest::newRow("no declaration: UTF-8")
        << "undeclared" << Table { { "utf8", "caf\u00e9 \u65e5\u672c" } };
    QTest::newRow("a bare document type") << "baredoctype" << Table { { "a", "b" } };
    QTest::newRow("32 attributes, 32 namespace declarations") << "limits" << Table { { "a", "b" } };
    for (const char* refused :
        { "twoids", "twovalues", "malformed", "wrongroot", "namespace", "missing", "entity",
            "utf16beentity", "externaldtd", "attributes", "namespaces", "unknownencoding" })
        QTest::newRow(refused) << refused << Table();
    QTest::newRow("a FIFO") << "fifo" << Table();
    QTest::newRow("a directory") << "directory" << Table();
    QTest::newRow("larger than the limit") << "large" << Table();
    QTest::newRow("a NUL in the language") << QString::fromLatin1("basic\0x", 7) << Table();
}

void tst_StringTable::read()
{
    QFETCH(QString, language);
    QFETCH(Table, added);
    QTemporaryDir dir;
    // Laid out under a name with an apostrophe and an ampersand, and given with backslashes.
    const QString tables = dir.filePath("it's & that");
    QVERIFY(QDir().mkpath(tables) && QDir(I18N_DATA_DIR).entryList().size() > 2);
    for (const QString& file : QDir(I18N_DATA_DIR).entryList(QDir::Files))
        QVERIFY(QFile::copy(I18N_DATA_DIR "/" + file, tables + '/' + file));
    QVERIFY(::mkfifo(QFile::encodeName(tables + "/strings_fifo.launcher.xml"), 0600) == 0);
    QVERIFY(QDir(tables).mkdir("strings_directory.launcher.xml"));
    QFile large(tables + "/strings_large.launcher.xml");
    QVERIFY(QFile::copy(tables + "/strings_basic.launcher.xml", large.fileName())
        && large.resize(launcher::maxStringTableSize + 1));

    const Table before { { "kept", "from before" }, { "twice", "from before" } };
    Table expected = before, table = before;
    for (auto it = added.cbegin(); it != added.cend(); ++it)
        expected.insert(it.key(), it.value());
    launcher::loadStringTable(QString(tables).replace('/', '\\'), language, table);
    QCOMPARE(table, expected);
    for (const QString& text : qAsConst(table))
        QVERIFY2(!text.isNull(), "a null text would read as no translation");
}

QTEST_GUILESS_MAIN(tst_StringTable)
#include "tst_stringtable.moc"
