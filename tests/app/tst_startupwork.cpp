// Work the real launcher leaves out of a start, seen from outside the process: the system's font
// configuration where nothing is drawn.
#include "support/productdir.h"

#include <QTest>

#include <dlfcn.h>

class tst_StartupWork : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void noFontConfigurationWithoutText_data();
    void noFontConfigurationWithoutText();
    void windowLoadsFontConfiguration();
};

namespace {

// fontconfig's own trace of the configuration files it parses (fonts-conf(5): CONFIG = 1024).
const char fontTrace[] = "1024";
const QByteArray configLoaded = "Loading config file";

} // namespace

void tst_StartupWork::initTestCase()
{
    // The same platform plugin as the launchers below: where it does not use fontconfig there is
    // nothing to leave out.
    if (!dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD))
        QSKIP("the platform plugin does not use fontconfig");
}

void tst_StartupWork::noFontConfigurationWithoutText_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("guardHeld");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("starts");

    QTest::newRow("direct path") << QStringList { "x" } << false << 1 << 1;
    QTest::newRow("-s") << QStringList { "-s" } << false << 1 << 0;
    QTest::newRow("second instance") << QStringList() << true << 0 << 0;
}

void tst_StartupWork::noFontConfigurationWithoutText()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, guardHeld);
    QFETCH(int, exitCode);
    QFETCH(int, starts);

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());
    product.setEnvironmentValue("FC_DEBUG", fontTrace);
    ProductDir::Process holder;
    if (guardHeld) {
        holder = ProductDir::holdGuard(product.launcherPath());
        QVERIFY2(holder, "could not hold the guard");
    }

    // Any trace at all would be fontconfig starting up, and then the output is not empty.
    const ProductDir::Result run = product.runLauncher(arguments);
    const QString problem = run.problem(exitCode);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(product.settledRunCount(), starts);
}

void tst_StartupWork::windowLoadsFontConfiguration()
{
    // The other side: a window draws text, so fontconfig does load the configuration, and its
    // trace reaches the output the rows above find empty.
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());
    product.setEnvironmentValue("FC_DEBUG", fontTrace);

    const ProductDir::Process window = product.startLauncher({ "-f" });
    QVERIFY(window->waitForStarted(5000));
    QByteArray output;
    for (int i = 0; i < 100 && !output.contains(configLoaded); ++i) {
        window->waitForReadyRead(100);
        output += window->readAll();
    }
    QVERIFY2(output.contains(configLoaded),
        qPrintable("no configuration file traced while the window was open: " + output.left(400)));
}

QTEST_MAIN(tst_StartupWork)
#include "tst_startupwork.moc"
