// Work the real launcher leaves out of a start, seen from outside the process: the system's font
// configuration where nothing is drawn, and the network's bearer plugins, while the update check
// and the plugins the window needs still work.
#include "support/productdir.h"
#include "update/fakeserver.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <dlfcn.h>

class tst_StartupWork : public QObject {
    Q_OBJECT

private slots:
    void noFontConfigurationWithoutText_data();
    void noFontConfigurationWithoutText();
    void windowLoadsFontConfiguration();
    void noBearerPlugins_data();
    void noBearerPlugins();
    void windowStillLoadsItsPlugins();
};

namespace {

// fontconfig's own trace of the configuration files it parses (fonts-conf(5): CONFIG = 1024).
const char fontTrace[] = "1024";
const QByteArray configLoaded = "Loading config file";

// The plugins a run loaded, from Qt's own trace (QT_DEBUG_PLUGINS=1).
QStringList loadedPlugins(const QByteArray& output)
{
    static const QRegularExpression loaded(
        QStringLiteral("^loaded library \"(.*)\"$"), QRegularExpression::MultilineOption);
    QStringList plugins;
    auto matches = loaded.globalMatch(QString::fromLocal8Bit(output));
    while (matches.hasNext())
        plugins << matches.next().captured(1);
    return plugins;
}

QStringList inDirectory(const QStringList& plugins, const QString& directory)
{
    return plugins.filter(QLatin1Char('/') + directory + QLatin1Char('/'));
}

// This test runs on the same platform plugin as the launchers it starts: where that does not use
// fontconfig there is nothing to leave out.
bool platformUsesFontconfig()
{
    void* library = dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (library)
        dlclose(library);
    return library;
}

} // namespace

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
    if (!platformUsesFontconfig())
        QSKIP("the platform plugin does not use fontconfig");
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
    if (!platformUsesFontconfig())
        QSKIP("the platform plugin does not use fontconfig");
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

void tst_StartupWork::noBearerPlugins_data()
{
    QTest::addColumn<bool>("check");

    QTest::newRow("direct path, no update check") << false;
    QTest::newRow("update check reporting a newer version") << true;
}

void tst_StartupWork::noBearerPlugins()
{
    QFETCH(bool, check);

    FakeServer server(FakeServer::Answer,
        FakeServer::httpResponse(200, "OK", "new_version=4.11\nurl=http://dl.example/\n"));
    QVERIFY(server.isListening());
    ProductDir product;
    QVERIFY(product.isValid());
    // The test launcher has a locale in its settings, so it makes the check, and records the
    // question it would ask.
    QVERIFY(
        product.addLauncher("launcher", check ? UPDATE_LAUNCHER : ProductDir::shippedLauncher()));
    QVERIFY(product.addRecorder());
    product.setEnvironmentValue("QT_DEBUG_PLUGINS", "1");
    product.setEnvironmentValue("LAUNCHER_TEST_UPDATE_URL", server.baseUrl());
    product.setEnvironmentValue("LAUNCHER_TEST_RECORD", product.filePath("record.txt"));

    const ProductDir::Result run = product.runLauncher({});
    QVERIFY2(run.finished, "the launcher did not end");
    QCOMPARE(run.exitCode, 1);
    const QStringList plugins = loadedPlugins(run.output);
    QVERIFY2(inDirectory(plugins, "platforms").size() == 1,
        qPrintable("platform plugins loaded: " + plugins.join(", ")));
    QVERIFY2(inDirectory(plugins, "bearer").isEmpty(),
        qPrintable("bearer plugins loaded: " + plugins.join(", ")));
    QCOMPARE(product.recordedRuns(1).size(), 1);

    QFile record(product.filePath("record.txt"));
    if (check) {
        // The answer arrived without bearer management.
        QCOMPARE(server.requestTargets().size(), 1);
        QVERIFY2(record.open(QIODevice::ReadOnly), "no update question was asked");
        QVERIFY(record.readAll().startsWith("question\t"));
    } else {
        QCOMPARE(server.requestTargets().size(), 0);
    }
}

void tst_StartupWork::windowStillLoadsItsPlugins()
{
    // The window's pictures go through the image-format plugins, which are looked for only once
    // the launch sequence runs: the plugin directories are back by then.
    bool imageFormats = false;
    for (const QString& path : QCoreApplication::libraryPaths())
        imageFormats
            = imageFormats || !QDir(path + "/imageformats").entryList(QDir::Files).isEmpty();
    if (!imageFormats)
        QSKIP("no image-format plugins installed");

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());
    product.setEnvironmentValue("QT_DEBUG_PLUGINS", "1");

    const ProductDir::Process window = product.startLauncher({ "-f" });
    QVERIFY(window->waitForStarted(5000));
    QByteArray output;
    for (int i = 0; i < 100 && inDirectory(loadedPlugins(output), "imageformats").isEmpty(); ++i) {
        window->waitForReadyRead(100);
        output += window->readAll();
    }
    const QStringList plugins = loadedPlugins(output);
    QVERIFY2(!inDirectory(plugins, "imageformats").isEmpty(),
        qPrintable("the window loaded no image-format plugin: " + plugins.join(", ")));
    QVERIFY2(inDirectory(plugins, "bearer").isEmpty(),
        qPrintable("bearer plugins loaded: " + plugins.join(", ")));
}

QTEST_MAIN(tst_StartupWork)
#include "tst_startupwork.moc"
