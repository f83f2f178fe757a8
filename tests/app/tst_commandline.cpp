#include "app/commandline.h"

#include <QLibraryInfo>
#include <QProcess>
#include <QTest>

class tst_CommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void qtOptions_data();
    void qtOptions();

private:
    // What a real QApplication on `platform` leaves of `arguments`.
    QStringList leftByQt(const QString& platform, const QStringList& arguments);
    // ctest runs the test on an X server of its own (x-session.sh), for the xcb platform.
    const QString display = qEnvironmentVariable("DISPLAY");
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

QStringList tst_CommandLine::leftByQt(const QString& platform, const QStringList& arguments)
{
    QStringList filled;
    for (QString argument : arguments)
        filled << argument.replace("{platform}", platform)
                      .replace("{display}", display)
                      .replace("{plugins}",
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
                          QLibraryInfo::location(QLibraryInfo::PluginsPath)
#else
                          QLibraryInfo::path(QLibraryInfo::PluginsPath)
#endif
                              + "/platforms");
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", platform);
    environment.insert("DISPLAY", display);
    probe.setProcessEnvironment(environment);
    probe.start(QT_OPTIONS_PROBE, filled);
    if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
        return { "probe failed:", QString::fromUtf8(probe.readAllStandardError()) };
    QStringList left;
    for (const QByteArray& argument : probe.readAllStandardOutput().split('\0'))
        left << QString::fromUtf8(argument);
    left.removeLast(); // after the last NUL
    return left;
}

void tst_CommandLine::qtOptions_data()
{
    QTest::addColumn<QStringList>("arguments"); // {platform}, {display}, {plugins}: filled in
    QTest::addColumn<QStringList>("kept");

    using L = QStringList;
    QTest::newRow("each with its value") << L { "-platform", "{platform}", "-platformpluginpath",
        "{plugins}", "-platformtheme", "t", "-plugin", "p", "-qwindowgeometry", "9x9",
        "-qwindowicon", "i", "-qwindowtitle", "t", "-geometry", "9x9", "-title", "t", "-icon", "i",
        "-session", "s", "-display", "{display}", "-name", "n", "-visual", "1", "-style", "fusion",
        "-stylesheet", "s", "-qmljsdebugger", "q", "x" }
                                         << L { "x" };
    QTest::newRow("alone, and with a value after =") << L { "-reverse", "-widgetcount",
        "-testability", "-qdevel", "-nograb", "-dograb", "-style=fusion", "-stylesheet=s",
        "-qmljsdebugger=port:1", "x" } << L { "x" };
    QTest::newRow("two dashes") << L { "--platform", "{platform}", "--style", "fusion", "--reverse",
        "--name", "n", "--display", "{display}", "x" }
                                << L { "x" };
    QTest::newRow("a value whatever it looks like") << L { "-qwindowtitle", "-style", "fusion", "x",
        "-style", "x", "fusion", "x" } << L { "fusion", "x", "fusion", "x" };
    QTest::newRow("last, without its value: taken out") << L { "a", "-qwindowtitle" } << L { "a" };
    QTest::newRow("last, without its value: left")
        << L { "a", "-display" } << L { "a", "-display" };
    const L notQt { "-session=s", "-sync", "-fn", "f", "-STYLE", "x", "---style", "-", "--", "-f",
        "-s", "-l", "" };
    QTest::newRow("not Qt's") << notQt << notQt;
}

void tst_CommandLine::qtOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, kept);
    QStringList ours;
    const QStringList all = QStringList { "launcher" } + arguments;
    for (const int position : launcher::nonQtArguments(all))
        ours << all.at(position);
    QCOMPARE(ours.mid(1), kept);

    // The list is X11's: a real QApplication under xcb takes out exactly the same; on any other
    // platform (offscreen; wayland, when a compositor runs) only some of them, never one that the
    // list keeps.
    QStringList others { "offscreen" };
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        others << "wayland";
    for (const QString& platform : others) {
        const QStringList left = leftByQt(platform, arguments);
        int next = 0;
        for (const QString& argument : kept) {
            next = left.indexOf(argument, next) + 1;
            QVERIFY2(next > 0,
                qPrintable(platform + " keeps " + left.join(' ') + ", not all of " + kept.join(' ')));
        }
    }
    if (display.isEmpty())
        QSKIP("no X server (Xvfb) to compare with xcb");
    QCOMPARE(leftByQt("xcb", arguments), kept);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
