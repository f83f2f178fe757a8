#include "app/commandline.h"

#include <QTest>

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
    QTest::addColumn<QList<int>>("passThrough"); // positions in `arguments`

    using L = QStringList;
    using P = QList<int>;
    QTest::newRow("window, repeated") << L { "-f", "-f" } << QString() << true << false << P {};
    QTest::newRow("-l takes an option as its value")
        << L { "-l", "-f" } << "-f" << false << false << P {};
    QTest::newRow("-l takes -l") << L { "-l", "-l", "x" } << "-l" << false << false << P { 3 };
    QTest::newRow("whole, case-sensitive words") << L { "-lfr", "-fs", "--", "-S", "-F",
        "-L" } << QString() << false << false << P { 1, 2, 3, 4, 5, 6 };
    QTest::newRow("options anywhere, order kept")
        << L { "one", "-f", "two words", "-l", "ja_JP", "-s", "", "three" } << "ja_JP" << true
        << true << P { 1, 3, 7, 8 };
}

void tst_CommandLine::parse()
{
    QFETCH(QStringList, arguments);
    // Argument 0 is the program itself and is never examined, even when it looks like an option.
    const launcher::CommandLine result
        = launcher::parseCommandLine(QStringList { "-f" } + arguments);
    QTEST(result.language, "language");
    QTEST(result.showWindow, "showWindow");
    QTEST(result.skipStart, "skipStart");
    QTEST(result.passThrough, "passThrough");
}

QTEST_APPLESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
