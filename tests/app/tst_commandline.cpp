#include "app/commandline.h"

#include <QTest>

using launcher::CommandLine;
using launcher::parseCommandLine;

class tst_CommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_CommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("showWindow");
    QTest::addColumn<bool>("skipStart");
    QTest::addColumn<QStringList>("passThrough");

    const QStringList none;
    QTest::newRow("nothing") << none << QString() << false << false << none;
    QTest::newRow("window") << QStringList { "-f" } << QString() << true << false << none;
    QTest::newRow("skip") << QStringList { "-s" } << QString() << false << true << none;
    QTest::newRow("language") << QStringList { "-l", "de_DE" } << "de_DE" << false << false << none;
    QTest::newRow("-l last is ignored")
        << QStringList { "a", "-l" } << QString() << false << false << QStringList { "a" };
    QTest::newRow("-l consumes an option")
        << QStringList { "-l", "-f" } << "-f" << false << false << none;
    QTest::newRow("-l consumes -l")
        << QStringList { "-l", "-l", "x" } << "-l" << false << false << QStringList { "x" };
    QTest::newRow("later -l wins")
        << QStringList { "-l", "fr", "-l", "de" } << "de" << false << false << none;
    QTest::newRow("empty -l value counts as given but empty")
        << QStringList { "-l", "" } << QString() << false << false << none;
    QTest::newRow("repeated -f") << QStringList { "-f", "-f" } << QString() << true << false
                                 << none;
    QTest::newRow("other case passes through") << QStringList { "-x", "foo",
        "-F" } << QString() << false << false << QStringList { "-x", "foo", "-F" };
    QTest::newRow("no attached values")
        << QStringList { "-lfr", "-fs", "--", "-S", "-L" } << QString() << false << false
        << QStringList { "-lfr", "-fs", "--", "-S", "-L" };
    QTest::newRow("options anywhere, order kept")
        << QStringList { "one", "-f", "two words", "-l", "ja_JP", "-s", "", "three" } << "ja_JP"
        << true << true << QStringList { "one", "two words", "", "three" };
    QTest::newRow("a value after -l is not passed through")
        << QStringList { "-l", "a b", "c" } << "a b" << false << false << QStringList { "c" };
}

void tst_CommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, language);
    QFETCH(bool, showWindow);
    QFETCH(bool, skipStart);
    QFETCH(QStringList, passThrough);

    // Argument 0 is the program itself and is never examined, even when it looks like an option.
    const CommandLine result = parseCommandLine(QStringList { "-f" } + arguments);
    QCOMPARE(result.language, language);
    QCOMPARE(result.showWindow, showWindow);
    QCOMPARE(result.skipStart, skipStart);
    QCOMPARE(result.passThrough, passThrough);
}

QTEST_APPLESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
