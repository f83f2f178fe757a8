// The real launcher executable, copied into throw-away product directories, started as a user
// would start it; a recording stand-in plays the product.
#include "support/productdir.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <signal.h>

class tst_LaunchProcess : public QObject {
    Q_OBJECT

private slots:
    void directStart_data();
    void directStart();
    void nothingStarted_data();
    void nothingStarted();
    void targetInSubdirectory();
    void absoluteTarget();
    void heldGuardEndsWithZero();
    void otherPathProceeds();
    void recoversAfterKill();
};

// A launcher run that ended by itself with `code` and printed nothing.
#define VERIFY_RESULT(run, code)                                                                   \
    do {                                                                                           \
        const QString problem = (run).problem(code);                                               \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                          \
    } while (false)

void tst_LaunchProcess::directStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("received");

    QTest::newRow("no arguments") << QStringList() << QStringList { "?launcher=launcher" };
    QTest::newRow("pass-through with blanks")
        << QStringList { "-x", "a b" } << QStringList { "?launcher=launcher", "-x", "a b" };
    QTest::newRow("options taken out, order kept") << QStringList { "one", "-l", "de_DE", "-F", "",
        "two" } << QStringList { "?launcher=launcher", "one", "-F", "", "two" };
    // QApplication keeps its own options; they never reach the product.
    QTest::newRow("Qt's own options") << QStringList { "-reverse", "x", "-platform", "offscreen" }
                                      << QStringList { "?launcher=launcher", "x" };
    QTest::newRow("shell characters arrive verbatim")
        << QStringList { "$(touch pwned)", "a;b", "`id`", "'q\"" }
        << QStringList { "?launcher=launcher", "$(touch pwned)", "a;b", "`id`", "'q\"" };
    QTest::newRow("non-ASCII") << QStringList {
        QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xe6\x97\xa5")
    } << QStringList { "?launcher=launcher", QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xe6\x97\xa5") };
}

void tst_LaunchProcess::directStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, received);

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());

    VERIFY_RESULT(product.runLauncher(arguments), 1);
    const QList<QStringList> runs = product.recordedRuns(1);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first(), received);
    QCOMPARE(product.settledRunCount(300), 1);
    QVERIFY2(
        !QFileInfo::exists(QDir::temp().filePath("pwned")), "an argument went through a shell");
}

void tst_LaunchProcess::nothingStarted_data()
{
    QTest::addColumn<bool>("withTarget");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("-s") << true << QStringList { "-s" };
    QTest::newRow("-s among others") << true << QStringList { "a", "-s", "b" };
    QTest::newRow("missing target") << false << QStringList();
}

void tst_LaunchProcess::nothingStarted()
{
    QFETCH(bool, withTarget);
    QFETCH(QStringList, arguments);

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    if (withTarget)
        QVERIFY(product.addRecorder());

    VERIFY_RESULT(product.runLauncher(arguments), 1);
    QCOMPARE(product.settledRunCount(), 0);
}

void tst_LaunchProcess::targetInSubdirectory()
{
    ProductDir product;
    QVERIFY(product.isValid());
    // Built with "name = bin\\qpr.exe": a backslash separates directories in the configuration.
    QVERIFY(product.addLauncher("launcher", VARIANTS_DIR "/launcher_subdir"));
    QVERIFY(product.addRecorder("bin/qpr.exe"));

    VERIFY_RESULT(product.runLauncher({ "x" }), 1);
    const QList<QStringList> runs = product.recordedRuns(1);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first(), QStringList({ "?launcher=../launcher", "x" }));
}

void tst_LaunchProcess::absoluteTarget()
{
    const QString elsewhere = QStringLiteral(ELSEWHERE_DIR);
    QDir(elsewhere).removeRecursively();
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher("launcher", VARIANTS_DIR "/launcher_absolute"));
    QVERIFY(product.addRecorder(elsewhere + "/qpr.exe"));

    VERIFY_RESULT(product.runLauncher({}), 1);
    const QList<QStringList> runs = product.recordedRuns(1, 5000, elsewhere);
    QCOMPARE(runs.size(), 1);
    const QString relative = QDir(elsewhere).relativeFilePath(product.launcherPath());
    QVERIFY(relative.startsWith("../"));
    QCOMPARE(runs.first(), QStringList({ "?launcher=" + relative }));
    QDir(elsewhere).removeRecursively();
}

void tst_LaunchProcess::heldGuardEndsWithZero()
{
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());

    const ProductDir::Process holder = ProductDir::holdGuard(product.launcherPath());
    QVERIFY2(holder, "could not hold the guard");
    VERIFY_RESULT(product.runLauncher({ "-f" }), 0);
    VERIFY_RESULT(product.runLauncher({}), 0);
    QCOMPARE(product.settledRunCount(), 0);
}

void tst_LaunchProcess::otherPathProceeds()
{
    ProductDir first;
    ProductDir second;
    QVERIFY(first.isValid() && second.isValid());
    QVERIFY(first.addLauncher() && second.addLauncher() && second.addRecorder());

    const ProductDir::Process holder = ProductDir::holdGuard(first.launcherPath());
    QVERIFY(holder);
    VERIFY_RESULT(second.runLauncher({}), 1);
    QCOMPARE(second.recordedRuns(1).size(), 1);
}

void tst_LaunchProcess::recoversAfterKill()
{
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());

    const ProductDir::Process holder = ProductDir::holdGuard(product.launcherPath());
    QVERIFY(holder);
    VERIFY_RESULT(product.runLauncher({}), 0);
    ::kill(pid_t(holder->processId()), SIGKILL);
    QVERIFY(ProductDir::hasEnded(*holder, 5000));
    QCOMPARE(holder->exitStatus(), QProcess::CrashExit);

    VERIFY_RESULT(product.runLauncher({}), 1);
    QCOMPARE(product.recordedRuns(1).size(), 1);
}

QTEST_GUILESS_MAIN(tst_LaunchProcess)
#include "tst_launchprocess.moc"
