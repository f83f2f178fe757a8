// The real launcher, with test hooks for its server and the user's answer, started as a user would
// start it against download servers the test runs: the product is started whatever the server
// does, the process ends within about a second of its own start-up, and its output is empty (or
// the one debug line of a failed check).
#include "fakeserver.h"
#include "support/productdir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>

class tst_UpdateProcess : public QObject {
    Q_OBJECT

private slots:
    void servers_data();
    void servers();
    void offeredOncePerVersion();

private:
    // A product directory with the test launcher and the stand-in product, its check pointed at
    // `baseUrl`, its question answered with `answer`.
    static bool prepare(ProductDir& product, const QString& baseUrl, const QString& answer);
    static QStringList recorded(const ProductDir& product);
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

namespace {

const QByteArray newer = "new_version=4.11\r\nurl=http://dl.example/quill\r\n";
const int refused = -1;

} // namespace

void tst_UpdateProcess::servers_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<bool>("lingers"); // Qt's network thread may hold the process after the start

    const int answer = FakeServer::Answer;
    QTest::newRow("no newer version")
        << answer
        << FakeServer::httpResponse(200, "OK", "new_version=4.10\nurl=http://dl.example/\n")
        << QByteArray() << false;
    QTest::newRow("404") << answer << FakeServer::httpResponse(404, "Not Found", newer)
                         << QByteArray("CheckUpdate reply error  "
                                       "QNetworkReply::ContentNotFoundError\n")
                         << false;
    QTest::newRow("connection refused")
        << refused << QByteArray()
        << QByteArray("CheckUpdate reply error  QNetworkReply::ConnectionRefusedError\n") << false;
    QTest::newRow("never answers")
        << int(FakeServer::Silent) << QByteArray() << QByteArray() << false;
    QTest::newRow("drips") << int(FakeServer::Drip) << newer << QByteArray() << false;
    QTest::newRow("64 MiB as fast as it goes")
        << int(FakeServer::Flood) << QByteArray() << QByteArray() << false;
    QTest::newRow("status line without end")
        << int(FakeServer::Stream) << "HTTP/1.1 200 " + QByteArray(64 * 1024, 'x') << QByteArray()
        << true;
}

void tst_UpdateProcess::servers()
{
    QFETCH(int, behaviour);
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, output);
    QFETCH(bool, lingers);

    auto server = std::make_unique<FakeServer>(
        behaviour == refused ? FakeServer::Silent : FakeServer::Behaviour(behaviour), response,
        qint64(64) * 1024 * 1024);
    QVERIFY(server->isListening());
    const QString baseUrl = behaviour == refused
        ? QStringLiteral("http://127.0.0.1:%1/sw").arg(FakeServer::refusedPort())
        : server->baseUrl();
    ProductDir product;
    QVERIFY(prepare(product, baseUrl, "yes"));

    QElapsedTimer clock;
    clock.start();
    const ProductDir::Process launcher = product.startLauncher({ "a b" });
    const QList<QStringList> runs = product.recordedRuns(1, 10000);
    const qint64 started = clock.elapsed();
    const QList<QByteArray> requests = server->requestTargets();
    if (lingers)
        server.reset(); // lets go of Qt's network thread, which the launcher waits for at its end
    const bool finished = ProductDir::hasEnded(*launcher, 15000);
    const qint64 ended = clock.elapsed();
    if (!finished)
        launcher->kill();

    QVERIFY2(finished, "the launcher did not end");
    QCOMPARE(launcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher->exitCode(), 1);
    QCOMPARE(launcher->readAll(), output);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first(), QStringList({ "?launcher=launcher", "a b" }));
    QCOMPARE(product.settledRunCount(0), 1);
    QCOMPARE(recorded(product), QStringList());
    if (behaviour != refused)
        QCOMPARE(requests, QList<QByteArray>({ "/sw/en_US/quill/windows/info_4.10.php" }));
    // Start-up, at most one second of waiting, the product's start (and the process's end).
    QVERIFY2(
        started < 2500, qPrintable(QStringLiteral("the product started after %1 ms").arg(started)));
    if (!lingers)
        QVERIFY2(ended < 3000, qPrintable(QStringLiteral("the launcher took %1 ms").arg(ended)));
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
