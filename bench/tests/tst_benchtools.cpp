// The benchmark's download server and measuring driver, run as the benchmark runs them.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class tst_BenchTools : public QObject {
    Q_OBJECT

private slots:
    void serverModes_data();
    void serverModes();
    void serverStatistics();
    void driverChecksEveryRun();
    void driverJudgesTableGrowth();

private:
    static QString program(const char* name)
    {
        return QStringLiteral(BENCH_BIN_DIR "/") + QLatin1String(name);
    }
};

namespace {

// A port nobody listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// The download server under the test's control, as the driver drives it.
class Server {
public:
    explicit Server(quint16 port)
        : port(port)
    {
        process.start(QStringLiteral(BENCH_BIN_DIR "/bench_server"),
            { QStringLiteral("--port"), QString::number(port), QStringLiteral("--version"),
                QStringLiteral("4.10") });
        ready = process.waitForStarted() && reply() == "ok";
    }
    ~Server()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished();
    }

    QByteArray command(const QByteArray& text)
    {
        process.write(text + '\n');
        return reply();
    }

    QByteArray reply()
    {
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(3000))
                return QByteArray();
        }
        return process.readLine().trimmed();
    }

    quint16 port;
    QProcess process;
    bool ready = false;
};

struct Exchange {
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    bool connected = false;
    QByteArray received;
};

// Connects, sends one request and collects what arrives within `waitMs` or until the server
// closes the connection.
Exchange exchange(quint16 port, const QByteArray& path, int waitMs)
{
    Exchange result;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    result.connected = socket.waitForConnected(3000);
    if (!result.connected) {
        result.error = socket.error();
        return result;
    }
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < waitMs) {
        socket.waitForReadyRead(int(waitMs - timer.elapsed()));
        result.received += socket.readAll();
    }
    result.received += socket.readAll();
    return result;
}

bool writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of the driver's summary CSV, by row key, split into their fields (the label, the one
// quoted field, holds no comma in these tests).
QMap<QString, QStringList> summary(const QString& path)
{
    QMap<QString, QStringList> rows;
    const QList<QByteArray> lines = readFile(path).split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char(','));
        rows.insert(fields.first(), fields);
    }
    return rows;
}

} // namespace

void tst_BenchTools::serverModes_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<QByteArray>("received");

    const QByteArray body = "new_version=4.10\r\nurl=http://127.0.0.1:%1/download\r\n";
    QTest::newRow("answer: no newer version")
        << QByteArray("answer") << true
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
                      "Content-Length: %2\r\nConnection: close\r\n\r\n")
            + body;
    QTest::newRow("silent: accepted, never answered")
        << QByteArray("silent") << true << QByteArray();
    QTest::newRow("closed: refused") << QByteArray("closed") << false << QByteArray();
}

void tst_BenchTools::serverModes()
{
    QFETCH(QByteArray, mode);
    QFETCH(bool, connects);
    QFETCH(QByteArray, received);

    const quint16 port = freePort();
    QVERIFY2(port, "no free port");
    Server server(port);
    QVERIFY2(server.ready, "the server did not say it was ready");
    // Every state is reached from every other one: pass through the others first.
    for (const char* other : { "answer", "silent", "closed" })
        QCOMPARE(server.command(other), QByteArray("ok"));
    QCOMPARE(server.command(mode), QByteArray("ok"));

    const Exchange result = exchange(port, "/sw/en_US/quill/windows/info_4.10.php", 400);
    QVERIFY2(result.connected == connects,
        qPrintable(
            QStringLiteral("connected: %1, error %2").arg(result.connected).arg(result.error)));
    if (!connects) {
        QCOMPARE(result.error, QAbstractSocket::ConnectionRefusedError);
        return;
    }
    const QByteArray port8 = QByteArray::number(port);
    const QByteArray body = "new_version=4.10\r\nurl=http://127.0.0.1:" + port8 + "/download\r\n";
    QByteArray expected = received;
    expected.replace("%1", port8).replace("%2", QByteArray::number(body.size()));
    QCOMPARE(result.received, expected);
}

void tst_BenchTools::serverStatistics()
{
    const quint16 port = freePort();
    QVERIFY2(port, "no free port");
    Server server(port);
    QVERIFY2(server.ready, "the server did not say it was ready");
    QCOMPARE(server.command("stats"), QByteArray("answered 0 silent 0 path -"));
    QCOMPARE(server.command("sideways"), QByteArray("error"));

    QCOMPARE(server.command("answer"), QByteArray("ok"));
    QVERIFY(exchange(port, "/sw/first", 3000).received.endsWith("/download\r\n"));
    QVERIFY(exchange(port, "/sw/second", 3000).received.endsWith("/download\r\n"));
    QCOMPARE(server.command("silent"), QByteArray("ok"));
    QVERIFY(exchange(port, "/sw/third", 200).received.isEmpty());
    QCOMPARE(server.command("stats"), QByteArray("answered 2 silent 1 path /sw/first"));

    // The end of its input ends it, also with a silent connection still open.
    server.process.closeWriteChannel();
    QVERIFY2(server.process.waitForFinished(3000), "the server did not end with its input");
    QCOMPARE(server.process.exitCode(), 0);
}

void tst_BenchTools::driverChecksEveryRun()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const quint16 port = freePort();
    QVERIFY2(port, "no free port");

    // A row that starts the stand-in detached, as a launcher does; one that ends as expected
    // with another code; one that ends with a code it should not.
    const QString standin = program("bench_standin");
    const QByteArray plan = "floor\tfloor\t0\t-\t1\t-1\t/bin/sh\t-c\t" + standin.toUtf8()
        + " &\n"
          "# comment lines are skipped\n"
          "three\texits with 3\t3\t-\t0\t-1\t/bin/sh\t-c\texit 3\n"
          "wrong\texits with 2\t0\t-\t0\t-1\t/bin/sh\t-c\texit 2\n";
    QVERIFY(writeFile(dir.filePath("plan.tsv"), plan));
    QDir(dir.path()).mkdir(QStringLiteral("logs"));

    QProcess driver;
    driver.setWorkingDirectory(dir.path());
    driver.start(program("bench_driver"),
        { "--plan", dir.filePath("plan.tsv"), "--runs", "3", "--warmup", "1", "--server",
            program("bench_server"), "--port", QString::number(port), "--version", "4.10", "--logs",
            dir.filePath("logs"), "--csv", dir.filePath("summary.csv"), "--samples",
            dir.filePath("samples.csv"), "--md", dir.filePath("table.md") });
    QVERIFY2(driver.waitForFinished(60000), "the driver did not end");
    // A row that did not end as expected fails the whole run.
    QCOMPARE(driver.exitCode(), 1);

    const QMap<QString, QStringList> rows = summary(dir.filePath("summary.csv"));
    const QStringList header = rows.value(QStringLiteral("row"));
    const int runs = header.indexOf(QStringLiteral("runs"));
    const int badExits = header.indexOf(QStringLiteral("bad_exits"));
    const int starts = header.indexOf(QStringLiteral("starts"));
    const int expectedStarts = header.indexOf(QStringLiteral("expected_starts"));
    const int ratio = header.indexOf(QStringLiteral("ratio_to_floor"));
    QVERIFY2(runs > 0 && badExits > 0 && starts > 0 && expectedStarts > 0 && ratio > 0,
        qPrintable(header.join(QLatin1Char(','))));

    struct Expected {
        const char* key;
        const char* badExits;
        const char* starts;
        const char* expectedStarts;
    };
    // Warm-up rounds count for the checks too: 4 runs of each row.
    for (const Expected& row : { Expected { "floor", "0", "4", "4" },
             Expected { "three", "0", "0", "0" }, Expected { "wrong", "4", "0", "0" } }) {
        const QStringList fields = rows.value(QLatin1String(row.key));
        QVERIFY2(fields.size() == header.size(), row.key);
        QCOMPARE(fields.at(runs), QStringLiteral("3"));
        QCOMPARE(fields.at(badExits), QLatin1String(row.badExits));
        QCOMPARE(fields.at(starts), QLatin1String(row.starts));
        QCOMPARE(fields.at(expectedStarts), QLatin1String(row.expectedStarts));
    }
    QCOMPARE(rows.value(QStringLiteral("floor")).at(ratio), QStringLiteral("1.000"));

    // Every measured run is in the samples, three rounds of three rows.
    QCOMPARE(readFile(dir.filePath("samples.csv")).count('\n'), 1 + 9);
    const QByteArray table = readFile(dir.filePath("table.md"));
    QVERIFY2(table.contains("- exits with 2: 4 of 4 runs ended with another exit code than 0"),
        table.constData());
    QVERIFY2(!table.contains("- floor:") && !table.contains("- exits with 3:"), table.constData());
}

void tst_BenchTools::driverJudgesTableGrowth()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const quint16 port = freePort();
    QVERIFY2(port, "no free port");

    // Rows whose cost grows with their "entries" by a known amount: 1 ms per entry.
    QByteArray plan = "floor\tfloor\t0\t-\t0\t-1\t/bin/true\n";
    for (int entries : { 0, 100, 200 }) {
        const QByteArray n = QByteArray::number(entries);
        plan += "table" + n + "\ttable " + n + "\t0\t-\t0\t" + n + "\t/bin/sleep\t"
            + QByteArray::number(entries / 1000.0) + "\n";
    }
    QVERIFY(writeFile(dir.filePath("plan.tsv"), plan));
    QDir(dir.path()).mkdir(QStringLiteral("logs"));

    QProcess driver;
    driver.setWorkingDirectory(dir.path());
    driver.start(program("bench_driver"),
        { "--plan", dir.filePath("plan.tsv"), "--runs", "5", "--warmup", "0", "--server",
            program("bench_server"), "--port", QString::number(port), "--version", "4.10", "--logs",
            dir.filePath("logs"), "--csv", dir.filePath("summary.csv"), "--samples",
            dir.filePath("samples.csv"), "--md", dir.filePath("table.md") });
    QVERIFY2(driver.waitForFinished(60000), "the driver did not end");
    QCOMPARE(driver.exitCode(), 0);

    // Sleeping is the one cost a busy machine cannot shrink; it can only stretch it, so the
    // per-entry figure is checked from below and the verdict within the driver's own margin.
    const QByteArray table = readFile(dir.filePath("table.md"));
    QVERIFY2(table.contains("Cost per entry at 200 entries / at 100 = "), table.constData());
    QVERIFY2(table.contains(": linear (per-entry cost within ±50 %)."), table.constData());
    const QMap<QString, QStringList> rows = summary(dir.filePath("summary.csv"));
    const int perEntry = rows.value(QStringLiteral("row")).indexOf(QStringLiteral("per_entry_us"));
    QVERIFY(perEntry > 0);
    const double us = rows.value(QStringLiteral("table200")).at(perEntry).toDouble();
    QVERIFY2(us >= 900, qPrintable(QStringLiteral("%1 µs per entry, expected about 1000").arg(us)));
}

QTEST_GUILESS_MAIN(tst_BenchTools)
#include "tst_benchtools.moc"
