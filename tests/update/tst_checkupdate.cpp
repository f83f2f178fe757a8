// The exchange with the download server, against servers the test starts on 127.0.0.1: what the
// server receives, and what each kind of answer (or non-answer) yields, how long it takes and
// what it prints.
#include "fakeserver.h"
#include "messagelog.h"
#include "update/checkupdate.h"

#include <QElapsedTimer>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

using launcher::CheckUpdate;

class tst_CheckUpdate : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void builtInServer();
    void requestShape_data();
    void requestShape();
    void emptyLocaleSendsNothing();
    void answers_data();
    void answers();
    void secondCheck();
};

void tst_CheckUpdate::cleanup() { launcher::setUpdateBaseUrl(QString()); }

void tst_CheckUpdate::builtInServer()
{
    const QUrl base(launcher::updateBaseUrl());
    QVERIFY2(base.isValid(), qPrintable(base.toString()));
    QCOMPARE(base.scheme(), QStringLiteral("http"));
    QVERIFY2(!base.host().isEmpty(), qPrintable(base.toString()));
    QCOMPARE(base.path(), QStringLiteral("/sw"));

    launcher::setUpdateBaseUrl(QStringLiteral("http://127.0.0.1:1/sw"));
    QCOMPARE(launcher::updateBaseUrl(), QStringLiteral("http://127.0.0.1:1/sw"));
    launcher::setUpdateBaseUrl(QString());
    QCOMPARE(launcher::updateBaseUrl(), base.toString());
}

void tst_CheckUpdate::requestShape_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("no variant, no query")
        << "en_US"
        << "quill"
        << "4.10"
        << "" << QByteArray("/sw/en_US/quill/windows/info_4.10.php");
    QTest::newRow("variant") << "de_DE"
                             << "quill"
                             << "4.10"
                             << "pro"
                             << QByteArray("/sw/de_DE/quill/windows/info_4.10.php?variant=pro");
    QTest::newRow("variant with blanks, & = and non-ASCII")
        << "en_US"
        << "quill"
        << "4.10" << QString::fromUtf8("a b&c=d \xc3\xa9")
        << QByteArray("/sw/en_US/quill/windows/info_4.10.php?variant=a%20b%26c%3Dd%20%C3%A9");
    // Substituted in one pass: a "%2" inside a value is never replaced by a later value.
    QTest::newRow("percent signs in values")
        << "%2"
        << "x%1"
        << "4.10"
        << "" << QByteArray("/sw/%252/x%251/windows/info_4.10.php");
    QTest::newRow("blank in the version")
        << "en_US"
        << "quill"
        << "4.10 beta"
        << "" << QByteArray("/sw/en_US/quill/windows/info_4.10%20beta.php");
}

void tst_CheckUpdate::requestShape()
{
    QFETCH(QString, locale);
    QFETCH(QString, product);
    QFETCH(QString, version);
    QFETCH(QString, variant);
    QFETCH(QByteArray, target);

    FakeServer server(FakeServer::Answer, FakeServer::httpResponse(200, "OK", ""));
    QVERIFY(server.isListening());
    launcher::setUpdateBaseUrl(server.baseUrl());

    CheckUpdate checkUpdate;
    QVERIFY(!checkUpdate.check(locale, product, QStringLiteral("windows"), version, variant));
    const QList<QByteArray> targets = server.requestTargets();
    QCOMPARE(targets, QList<QByteArray>({ target }));

    // The server reads the variant back exactly, as the one and only query item.
    const QUrl received(QString::fromLatin1(targets.first()), QUrl::StrictMode);
    const QUrlQuery query(received);
    if (variant.isEmpty()) {
        QVERIFY2(!received.hasQuery(), targets.first());
    } else {
        QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 1);
        QCOMPARE(query.queryItemValue(QStringLiteral("variant"), QUrl::FullyDecoded), variant);
    }

    // Nothing but a GET with the headers the network library adds by itself, and a plain answer
    // asked for.
    const QByteArray head = server.firstRequestHead();
    QVERIFY2(head.startsWith("GET "), head);
    QVERIFY2(head.contains("\r\nAccept-Encoding: identity\r\n"), head);
    for (const QByteArray& line : head.split('\n').mid(1)) {
        const QByteArray name = line.left(line.indexOf(':')).trimmed().toLower();
        const QList<QByteArray> known { "host", "connection", "accept-encoding", "accept-language",
            "user-agent" };
        QVERIFY2(known.contains(name), line);
    }
}

void tst_CheckUpdate::emptyLocaleSendsNothing()
{
    FakeServer server(FakeServer::Answer,
        FakeServer::httpResponse(200, "OK", "new_version=4.11\nurl=http://dl.example/\n"));
    QVERIFY(server.isListening());
    launcher::setUpdateBaseUrl(server.baseUrl());
    MessageLog log;

    QElapsedTimer clock;
    clock.start();
    CheckUpdate checkUpdate;
    QVERIFY(!checkUpdate.check(QString(), "quill", "windows", "4.10", "pro"));
    QVERIFY2(clock.elapsed() < 500, "an empty locale waited for something");
    QTest::qWait(200);
    QCOMPARE(server.connectionCount(), 0);
    QVERIFY(checkUpdate.newVersion.isEmpty() && checkUpdate.url.isEmpty());
    QCOMPARE(log.messages(), QStringList());
}

namespace {

const QByteArray newer = "new_version=4.11\r\nurl=http://dl.example/quill\r\n";
const qint64 floodSize = qint64(64) * 1024 * 1024;

// A body of exactly `size` bytes that reports 4.11: the entries, then filler lines.
QByteArray paddedReply(int size)
{
    QByteArray body = newer;
    while (body.size() < size)
        body += QByteArray(qMin(100, size - body.size() - 1), 'x') + '\n';
    return body.left(size);
}

QByteArray ok(const QByteArray& body) { return FakeServer::httpResponse(200, "OK", body); }

// The sanitizer build checks every access and records a full stack at every allocation, which
// makes reading a long answer several times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr int slowdown = 3;
#else
constexpr int slowdown = 1;
#endif

// The server's behaviours, and one more: nothing listens at the address.
const int refused = -1;

} // namespace

void tst_CheckUpdate::answers_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("error"); // the enumerator of the debug line; empty: no line
    QTest::addColumn<bool>("waitsForTimer");
    QTest::addColumn<int>("requests"); // -1: the network library may send the GET again

    const int answer = FakeServer::Answer;
    QTest::newRow("newer version") << answer << ok(newer) << true << "" << false << 1;
    QTest::newRow("same version") << answer << ok("new_version=4.10\r\nurl=http://dl.example/")
                                  << false << "" << false << 1;
    QTest::newRow("empty body") << answer << ok("") << false << "" << false << 1;
    QTest::newRow("404") << answer << FakeServer::httpResponse(404, "Not Found", newer) << false
                         << "ContentNotFoundError" << false << 1;
    QTest::newRow("500") << answer << FakeServer::httpResponse(500, "Server Error", newer) << false
                         << "InternalServerError" << false << 1;
    // Not followed, and otherwise an answer like any other: its body counts.
    QTest::newRow("301 with a body")
        << answer << FakeServer::httpResponse(301, "Moved", newer, "Location: /sw/elsewhere\r\n")
        << true << "" << false << 1;
    QTest::newRow("302 without a body")
        << answer << FakeServer::httpResponse(302, "Found", "", "Location: http://127.0.0.1:1/\r\n")
        << false << "" << false << 1;
    QTest::newRow("connection refused")
        << refused << QByteArray() << false << "ConnectionRefusedError" << false << 0;
    QTest::newRow("not HTTP") << answer << QByteArray("SSH-2.0-OpenSSH_9.2\r\n") << false
                              << "RemoteHostClosedError" << false << -1;
    // Holds Qt's network thread in its status-line loop; the check still ends with the timer.
    QTest::newRow("status line without end")
        << int(FakeServer::Stream) << "HTTP/1.1 200 " + QByteArray(64 * 1024, 'x') << false << ""
        << true << 1;
    // Asked for no compression, the launcher does not inflate what a server compresses anyway
    // (a small compressed answer could otherwise swell to gigabytes).
    QTest::newRow("compressed answer not inflated")
        << answer
        << FakeServer::httpResponse(
               200, "OK", qCompress(newer).mid(4), "Content-Encoding: deflate\r\n")
        << false << "" << false << 1;
    // Read up to the first NUL, and otherwise line by line, whatever the bytes.
    QTest::newRow("invalid UTF-8 around the answer")
        << answer << ok("\xff\xfe\xc3(new_version=9\r\n\xed\xa0\x80\n" + newer + "\xf8\x88\x80")
        << true << "" << false << 1;
    QTest::newRow("NUL after the answer")
        << answer << ok(newer + QByteArray("\0new_version=9.9\n", 17)) << true << "" << false << 1;
    QTest::newRow("NUL before the answer")
        << answer << ok(QByteArray("\0\0", 2) + newer) << false << "" << false << 1;
    QTest::newRow("ten thousand lines")
        << answer << ok(QByteArray("a=b\n").repeated(10000) + newer) << true << "" << false << 1;
    // Longer than any answer of ours, so dropped unread.
    QTest::newRow("a million-character line")
        << answer << ok(newer + "x=" + QByteArray(1000000, 'y') + '\n') << false << "" << false
        << 1;
    QTest::newRow("header lines without end")
        << int(FakeServer::Stream)
        << "HTTP/1.1 200 OK\r\n" + QByteArray("X-Filler: y\r\n").repeated(4096) << false << ""
        << true << 1;
    QTest::newRow("closes mid-body")
        << int(FakeServer::CloseMidBody) << newer << false << "RemoteHostClosedError" << false << 1;
    QTest::newRow("never answers")
        << int(FakeServer::Silent) << QByteArray() << false << "" << true << 1;
    QTest::newRow("header, then nothing")
        << int(FakeServer::HeadersOnly) << QByteArray() << false << "" << true << 1;
    QTest::newRow("drips a byte every 100 ms")
        << int(FakeServer::Drip) << newer << false << "" << true << 1;
    // Made of valid entries: read whole, it would report a newer version.
    QTest::newRow("64 MiB as fast as it goes")
        << int(FakeServer::Flood) << QByteArray() << false << "" << false << 1;
    QTest::newRow("exactly the cap")
        << answer << ok(paddedReply(int(launcher::maxUpdateReplySize))) << true << "" << false << 1;
    QTest::newRow("one byte over the cap")
        << answer << ok(paddedReply(int(launcher::maxUpdateReplySize) + 1)) << false << "" << false
        << 1;
}

void tst_CheckUpdate::answers()
{
    QFETCH(int, behaviour);
    QFETCH(QByteArray, response);
    QFETCH(bool, result);
    QFETCH(QString, error);
    QFETCH(bool, waitsForTimer);
    QFETCH(int, requests);

    FakeServer server(behaviour == refused ? FakeServer::Silent : FakeServer::Behaviour(behaviour),
        response, floodSize);
    QVERIFY(server.isListening());
    if (behaviour == refused) {
        const quint16 port = FakeServer::refusedPort();
        QVERIFY(port != 0);
        launcher::setUpdateBaseUrl(QStringLiteral("http://127.0.0.1:%1/sw").arg(port));
    } else {
        launcher::setUpdateBaseUrl(server.baseUrl());
    }
    MessageLog log;

    QElapsedTimer clock;
    clock.start();
    bool reported = false;
    QString newVersion;
    QString url;
    {
        CheckUpdate checkUpdate;
        reported = checkUpdate.check("en_US", "quill", "windows", "4.10", QString());
        newVersion = checkUpdate.newVersion;
        url = checkUpdate.url;
    }
    // The whole exchange, the release of the reply and the manager included.
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(reported, result);
    QCOMPARE(newVersion, result ? QStringLiteral("4.11") : QString());
    QCOMPARE(url, result ? QStringLiteral("http://dl.example/quill") : QString());
    // Two blanks: the text's own, then the one the debug stream puts between its items.
    const QStringList expected { "debug CheckUpdate reply error  QNetworkReply::" + error };
    QCOMPARE(log.messages(), error.isEmpty() ? QStringList() : expected);
    if (requests >= 0)
        QCOMPARE(server.requestTargets().size(), requests);
    if (waitsForTimer)
        QVERIFY2(elapsed >= 950, qPrintable(QStringLiteral("ended after %1 ms").arg(elapsed)));
    // About a second at most (the timer's wait, then the reading): the margin grows with the
    // sanitizer build's slowdown.
    QVERIFY2(elapsed < (waitsForTimer ? 1000 : 0) + 1000 * slowdown,
        qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
    if (behaviour == FakeServer::Flood)
        QVERIFY2(server.bytesSent() < floodSize / 4,
            qPrintable(QStringLiteral("the server got %1 bytes out").arg(server.bytesSent())));
}

// Each check sends its own request; a later result replaces an earlier one only when it reports a
// newer version.
void tst_CheckUpdate::secondCheck()
{
    FakeServer server(FakeServer::Answer, FakeServer::httpResponse(200, "OK", newer));
    QVERIFY(server.isListening());
    launcher::setUpdateBaseUrl(server.baseUrl());

    CheckUpdate checkUpdate;
    QVERIFY(checkUpdate.check("en_US", "quill", "windows", "4.10", QString()));
    QVERIFY(!checkUpdate.check("en_US", "quill", "windows", "4.11", QString()));
    QCOMPARE(checkUpdate.newVersion, QStringLiteral("4.11"));
    QCOMPARE(checkUpdate.url, QStringLiteral("http://dl.example/quill"));
    QCOMPARE(server.requestTargets().size(), 2);
}

QTEST_GUILESS_MAIN(tst_CheckUpdate)
#include "tst_checkupdate.moc"
