// The single-instance guard between real launcher processes: a race of many launchers from one
// path, a killed holder inside the race, a very long path, another TMPDIR, and another user.
#include "support/productdir.h"
#include "update/fakeserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <signal.h>
#include <unistd.h>
#include <vector>

class tst_GuardProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void race();
    void longPath_data();
    void longPath();
    void otherTmpDirStillExcludes();
    void otherUserIsNotSilenced();

private:
    struct Round {
        int proceeded = 0; // still running (holding its question) once the others have ended
        int endedWithZero = 0;
        QStringList problems;
    };
    // Starts `count` race launchers from one directory at once and waits until all but the ones
    // that got through have ended.
    Round startRace(const ProductDir& product, int count, std::vector<ProductDir::Process>& out);

    std::unique_ptr<FakeServer> server;
};

static const int racers = 16;

void tst_GuardProcess::initTestCase()
{
    // A newer version, so that every launcher that gets through asks the (held) question.
    server.reset(new FakeServer(FakeServer::Answer,
        FakeServer::httpResponse(200, "OK", "new_version=4.11\r\nurl=http://dl.example/\r\n")));
    QVERIFY(server->isListening());
}

tst_GuardProcess::Round tst_GuardProcess::startRace(
    const ProductDir& product, int count, std::vector<ProductDir::Process>& out)
{
    out.clear();
    for (int i = 0; i < count; ++i)
        out.push_back(product.startLauncher({ "race" }));
    Round round;
    // Every launcher either ends with 0 at once or stays in its held question.
    (void)QTest::qWaitFor(
        [&] {
            int running = 0;
            for (const auto& process : out)
                running += process->state() != QProcess::NotRunning;
            return running <= 1;
        },
        30000);
    for (const auto& process : out) {
        if (process->state() != QProcess::NotRunning) {
            ++round.proceeded;
            continue;
        }
        const QByteArray output = process->readAll();
        if (process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0
            && output.isEmpty())
            ++round.endedWithZero;
        else
            round.problems << QString("exit %1, output \"%2\"")
                                  .arg(process->exitCode())
                                  .arg(QString::fromLocal8Bit(output));
    }
    return round;
}

void tst_GuardProcess::race()
{
    const int rounds = qEnvironmentVariableIntValue("LAUNCHER_RACE_ROUNDS") > 0
        ? qEnvironmentVariableIntValue("LAUNCHER_RACE_ROUNDS")
        : 10;
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher("launcher", VARIANTS_DIR "/launcher_hold"));
    QVERIFY(product.addRecorder());
    const QString hold = product.filePath("hold");
    product.setEnvironmentValue("LAUNCHER_TEST_UPDATE_URL", server->baseUrl());
    product.setEnvironmentValue("LAUNCHER_TEST_HOLD", hold);

    int started = 0;
    for (int round = 0; round < rounds; ++round) {
        QVERIFY(product.writeFile("hold", "1"));
        // The version is offered once per store; a fresh store makes the winner ask (and hold).
        QDir(product.environment().value("XDG_CONFIG_HOME") + "/Nimbrel").removeRecursively();
        std::vector<ProductDir::Process> launchers;
        const Round result = startRace(product, racers, launchers);
        const QString where = QString("round %1: ").arg(round);
        QVERIFY2(result.problems.isEmpty(), qPrintable(where + result.problems.join("; ")));
        QVERIFY2(result.proceeded == 1,
            qPrintable(where + QString("%1 launchers got through").arg(result.proceeded)));
        QCOMPARE(result.endedWithZero, racers - 1);

        auto winner = std::find_if(launchers.begin(), launchers.end(),
            [](const auto& p) { return p->state() != QProcess::NotRunning; });
        if (round % 3 == 2) {
            // A holder killed while it holds the guard leaves nothing that stops the next round.
            ::kill(pid_t((*winner)->processId()), SIGKILL);
            QVERIFY(ProductDir::hasEnded(**winner, 5000));
            QCOMPARE((*winner)->exitStatus(), QProcess::CrashExit);
        } else {
            QVERIFY(QFile::remove(hold));
            QVERIFY(ProductDir::hasEnded(**winner, 10000));
            QCOMPARE((*winner)->exitCode(), 1);
            QCOMPARE((*winner)->readAll(), QByteArray());
            ++started;
            QVERIFY2(product.recordedRuns(started).size() == started,
                qPrintable(where + "the product was not started by the winner"));
        }
    }
    // Each winner that was let go started the product exactly once, nobody else did.
    QCOMPARE(product.settledRunCount(), started);
    qInfo("%d rounds of %d launchers: one got through in every round", rounds, racers);
}

void tst_GuardProcess::longPath_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("200") << 200;
    QTest::newRow("240") << 240;
    QTest::newRow("1000") << 1000;
}

void tst_GuardProcess::longPath()
{
    QFETCH(int, length);
    ProductDir product;
    QVERIFY(product.isValid());
    // Directory levels of 50 characters until the launcher's absolute path has `length`.
    QString dir;
    while (product.path().size() + dir.size() + 1 + int(qstrlen("launcher")) < length)
        dir += QString(qMin(50, length - product.path().size() - dir.size() - 10), 'd') + '/';
    const QString launcher = dir + "launcher";
    QVERIFY(product.filePath(launcher).size() >= length);
    QVERIFY(product.addLauncher(launcher));
    QVERIFY(product.addRecorder(dir + "qpr.exe"));

    const ProductDir::Result lone = product.runLauncher({ "x" }, 15000, launcher);
    QVERIFY2(lone.problem(1).isEmpty(), qPrintable("alone: " + lone.problem(1)));
    QCOMPARE(product.recordedRuns(1).size(), 1);

    // And the guard still excludes a second launcher from there.
    const ProductDir::Process window = product.startLauncher({ "-f" }, launcher);
    QVERIFY(window->waitForStarted());
    QVERIFY2(!ProductDir::hasEnded(*window, 1500), "the -f launcher did not stay open");
    const ProductDir::Result second = product.runLauncher({}, 15000, launcher);
    QVERIFY2(second.problem(0).isEmpty(), qPrintable("second: " + second.problem(0)));
    QCOMPARE(product.settledRunCount(), 1);
}

void tst_GuardProcess::otherTmpDirStillExcludes()
{
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());
    QDir(product.path()).mkpath("tmp-a");
    QDir(product.path()).mkpath("tmp-b");

    product.setEnvironmentValue("TMPDIR", product.filePath("tmp-a"));
    const ProductDir::Process window = product.startLauncher({ "-f" });
    QVERIFY(window->waitForStarted());
    QVERIFY2(!ProductDir::hasEnded(*window, 1500), "the -f launcher did not stay open");

    product.setEnvironmentValue("TMPDIR", product.filePath("tmp-b"));
    const ProductDir::Result second = product.runLauncher({});
    QVERIFY2(second.problem(0).isEmpty(), qPrintable(second.problem(0)));
    QCOMPARE(product.settledRunCount(), 0);
}

void tst_GuardProcess::otherUserIsNotSilenced()
{
    if (::geteuid() != 0)
        QSKIP("needs root to start a launcher as another user");
    const QString setpriv = QStringLiteral("/usr/bin/setpriv");
    if (!QFileInfo(setpriv).isExecutable())
        QSKIP("setpriv (util-linux) is not installed");

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());
    // The other user ("nobody") must reach the launcher and write the stand-in's record, and needs
    // a home and runtime directory of its own.
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther
        | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(product.path(), open));
    const QString otherHome = product.filePath("nobody");
    QVERIFY(QDir().mkpath(otherHome + "/run"));
    QVERIFY(::chown(qPrintable(otherHome), 65534, 65534) == 0);
    QVERIFY(::chown(qPrintable(otherHome + "/run"), 65534, 65534) == 0);
    QFile::setPermissions(
        otherHome + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const ProductDir::Process window = product.startLauncher({ "-f" });
    QVERIFY(window->waitForStarted());
    QVERIFY2(!ProductDir::hasEnded(*window, 1500), "the -f launcher did not stay open");

    QProcessEnvironment env = product.environment();
    env.insert("HOME", otherHome);
    env.insert("XDG_CONFIG_HOME", otherHome + "/config");
    env.insert("XDG_CACHE_HOME", otherHome + "/cache");
    env.insert("XDG_RUNTIME_DIR", otherHome + "/run");
    QProcess other;
    other.setProcessEnvironment(env);
    other.setProcessChannelMode(QProcess::MergedChannels);
    other.start(setpriv,
        { "--reuid=65534", "--regid=65534", "--clear-groups", product.launcherPath(), "other" });
    QVERIFY(ProductDir::hasEnded(other, 15000));
    const QByteArray output = other.readAll();
    QVERIFY2(other.exitCode() == 1 && output.isEmpty(),
        qPrintable(QString("the other user's launcher: exit %1, output \"%2\"")
                       .arg(other.exitCode())
                       .arg(QString::fromLocal8Bit(output))));
    const QList<QStringList> runs = product.recordedRuns(1);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first(), QStringList({ "?launcher=launcher", "other" }));
}

QTEST_GUILESS_MAIN(tst_GuardProcess)
#include "tst_guardprocess.moc"
