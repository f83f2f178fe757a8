// The real launcher, with test hooks for its server and the user's answer, started as a user would
// start it against download servers the test runs: the product is started whatever the server
// does, the process ends within about a second of its own start-up, its peak memory stays close
// to that of a run against a well-behaved server, and its output is empty (or the one debug line
// of a failed check).
#include "fakeserver.h"
#include "support/productdir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

class tst_UpdateProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void servers_data();
    void servers();
    void offeredOncePerVersion();

private:
    // A product directory with the test launcher and the stand-in product, its check pointed at
    // `baseUrl`, its question answered with `answer`.
    static bool prepare(ProductDir& product, const QString& baseUrl, const QString& answer);
    static QStringList recorded(const ProductDir& product);
    // Starts the launcher under measuredrun, which writes its peak memory to `report`.
    static ProductDir::Process startMeasured(
        const ProductDir& product, const QStringList& arguments, const QString& report);
    static qint64 peakKiB(const QString& report);

    // Peak memory of a launcher whose server answers at once that there is nothing newer.
    qint64 baselineKiB = -1;
};

bool tst_UpdateProcess::prepare(ProductDir& product, const QString& baseUrl, const QString& answer)
{
    if (!product.isValid() || !product.addLauncher("launcher", UPDATE_LAUNCHER)
        || !product.addRecorder())
        return false;
    product.setEnvironmentValue("LAUNCHER_TEST_UPDATE_URL", baseUrl);
    product.setEnvironmentValue("LAUNCHER_TEST_ANSWER", answer);
    product.setEnvironmentValue("LAUNCHER_TEST_RECORD", product.filePath("record.txt"));
    return true;
}

QStringList tst_UpdateProcess::recorded(const ProductDir& product)
{
    QFile file(product.filePath("record.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

ProductDir::Process tst_UpdateProcess::startMeasured(
    const ProductDir& product, const QStringList& arguments, const QString& report)
{
    return product.startLauncher(
        QStringList { "--report", report, product.launcherPath() } + arguments, MEASURED_RUN);
}

qint64 tst_UpdateProcess::peakKiB(const QString& report)
{
    QFile file(report);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 value = file.readAll().trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

void tst_UpdateProcess::initTestCase()
{
    FakeServer server(FakeServer::Answer,
        FakeServer::httpResponse(200, "OK", "new_version=4.10\nurl=http://dl.example/\n"));
    QVERIFY(server.isListening());
    ProductDir product;
    QVERIFY(prepare(product, server.baseUrl(), "no"));
    const QString report = product.filePath("peak.txt");
    const ProductDir::Process launcher = startMeasured(product, {}, report);
    QVERIFY2(ProductDir::hasEnded(*launcher, 15000), "the launcher did not end");
    QCOMPARE(launcher->exitCode(), 1);
    baselineKiB = peakKiB(report);
    QVERIFY2(baselineKiB > 0, "no peak memory was reported");
}

namespace {

const QByteArray newer = "new_version=4.11\r\nurl=http://dl.example/quill\r\n";
const int refused = -1;

} // namespace

void tst_UpdateProcess::servers_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArray>("output");

    const int answer = FakeServer::Answer;
    QTest::newRow("no newer version")
        << answer
        << FakeServer::httpResponse(200, "OK", "new_version=4.10\nurl=http://dl.example/\n")
        << QByteArray();
    QTest::newRow("404") << answer << FakeServer::httpResponse(404, "Not Found", newer)
                         << QByteArray("CheckUpdate reply error  "
                                       "QNetworkReply::ContentNotFoundError\n");
    QTest::newRow("connection refused")
        << refused << QByteArray()
        << QByteArray("CheckUpdate reply error  QNetworkReply::ConnectionRefusedError\n");
    QTest::newRow("never answers") << int(FakeServer::Silent) << QByteArray() << QByteArray();
    QTest::newRow("drips") << int(FakeServer::Drip) << newer << QByteArray();
    QTest::newRow("64 MiB as fast as it goes")
        << int(FakeServer::Flood) << QByteArray() << QByteArray();
    // Both hold Qt's network thread in its header loop for as long as the server sends; the
    // launcher neither waits for that thread at its end nor keeps what it read.
    QTest::newRow("status line without end")
        << int(FakeServer::Stream) << "HTTP/1.1 200 " + QByteArray(64 * 1024, 'x') << QByteArray();
    QTest::newRow("header lines without end")
        << int(FakeServer::Stream)
        << "HTTP/1.1 200 OK\r\n" + QByteArray("X-Filler: y\r\n").repeated(4096) << QByteArray();
}

void tst_UpdateProcess::servers()
{
    QFETCH(int, behaviour);
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, output);

    FakeServer server(behaviour == refused ? FakeServer::Silent : FakeServer::Behaviour(behaviour),
        response, qint64(64) * 1024 * 1024);
    QVERIFY(server.isListening());
    const QString baseUrl = behaviour == refused
        ? QStringLiteral("http://127.0.0.1:%1/sw").arg(FakeServer::refusedPort())
        : server.baseUrl();
    ProductDir product;
    QVERIFY(prepare(product, baseUrl, "yes"));
    const QString report = product.filePath("peak.txt");

    QElapsedTimer clock;
    clock.start();
    const ProductDir::Process launcher = startMeasured(product, { "a b" }, report);
    const QList<QStringList> runs = product.recordedRuns(1, 10000);
    const qint64 started = clock.elapsed();
    // The server keeps sending all the while.
    const bool finished = ProductDir::hasEnded(*launcher, 15000);
    const qint64 ended = clock.elapsed();

    QVERIFY2(finished, "the launcher did not end");
    QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher->exitCode(), 1);
    QCOMPARE(launcher->readAll(), output);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first(), QStringList({ "?launcher=launcher", "a b" }));
    QCOMPARE(product.settledRunCount(0), 1);
    QCOMPARE(recorded(product), QStringList());
    if (behaviour != refused)
        QCOMPARE(server.requestTargets(),
            QList<QByteArray>({ "/sw/en_US/quill/windows/info_4.10.php" }));
    // Start-up, at most one second of waiting, the product's start and the process's end.
    QVERIFY2(
        started < 2500, qPrintable(QStringLiteral("the product started after %1 ms").arg(started)));
    QVERIFY2(ended < 3000, qPrintable(QStringLiteral("the launcher took %1 ms").arg(ended)));
    // A 64 MiB answer, or headers without end, cost a few MiB at most.
    const qint64 peak = peakKiB(report);
    QVERIFY2(peak > 0, "no peak memory was reported");
    qInfo("peak memory %lld KiB (%lld KiB against a well-behaved server), ended after %lld ms",
        peak, baselineKiB, ended);
    QVERIFY2(peak - baselineKiB < 16 * 1024,
        qPrintable(QStringLiteral("peak memory %1 KiB, %2 KiB against a well-behaved server")
                       .arg(peak)
                       .arg(baselineKiB)));
}

// Asked on the first start with a newer version, not again for the same version; the page is
// opened on Yes, and the product is started every time.
void tst_UpdateProcess::offeredOncePerVersion()
{
    FakeServer server(FakeServer::Answer, FakeServer::httpResponse(200, "OK", newer));
    QVERIFY(server.isListening());
    ProductDir product;
    QVERIFY(prepare(product, server.baseUrl(), "yes"));

    QCOMPARE(product.runLauncher({}).problem(1), QString());
    QCOMPARE(recorded(product),
        QStringList({ "question\tPellam Author\tlic_update_question",
            "open\thttp://dl.example/quill?platform=windows" }));
    QCOMPARE(product.recordedRuns(1).size(), 1);

    QCOMPARE(product.runLauncher({}).problem(1), QString());
    QCOMPARE(recorded(product).size(), 2);
    QCOMPARE(product.recordedRuns(2).size(), 2);
    QCOMPARE(server.requestTargets().size(), 2);

    QFile store(product.filePath(".home/config/Nimbrel/Update.conf"));
    QVERIFY2(store.open(QIODevice::ReadOnly), qPrintable(store.fileName()));
    QCOMPARE(store.readAll().trimmed(), QByteArray("[en_US]\nquill\\version=4.11"));
}

QTEST_GUILESS_MAIN(tst_UpdateProcess)
#include "tst_updateprocess.moc"
