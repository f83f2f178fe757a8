// How a reply body is read, when it counts as a newer version, and which download page is offered
// for the address it reports.
#include "update/answersignature.h"
#include "update/updateoffer.h"
#include "update/updatereply.h"

#include <QTest>

#include <sodium.h>

class tst_UpdateReply : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void keys_data();
    void keys();
    void downloadPage_data();
    void downloadPage();
    void signature_data();
    void signature();
    void hosts_data();
    void hosts();
};

void tst_UpdateReply::parse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("newVersion"); // null: no newer version, the results untouched
    QTest::addColumn<QString>("url");

    const QString page = "http://dl.example/q";
    QTest::newRow("newer") << QByteArray("new_version=4.11\nurl=http://dl.example/q") << "4.11"
                           << page;
    QTest::newRow("same") << QByteArray("new_version=4.10\nurl=http://dl.example/q") << QString()
                          << "";
    QTest::newRow("lower, as text")
        << QByteArray("new_version=4.9\nurl=http://dl.example/q") << "4.9" << page;
    QTest::newRow("CRLF, blank lines, CR alone")
        << QByteArray("\r\n\r\nnew_version=4.11\r\r\n\nurl=http://dl.example/q\n") << "4.11"
        << page;
    QTest::newRow("spaces around = are no entry")
        << QByteArray("new_version = 4.11\nnew_version =4\nurl=http://dl.example/q") << QString()
        << "";
    QTest::newRow("the value is kept whole, spaces, = and & included")
        << QByteArray("new_version= 4.10 \nurl=http://d/get?a=1&b==2 ") << " 4.10 "
        << "http://d/get?a=1&b==2 ";
    QTest::newRow("the last entry of a key wins") << QByteArray(
        "new_version=4.12\nurl=http://old/\nnew_version=4.11\nurl=http://dl.example/q")
                                                  << "4.11" << page;
    QTest::newRow("empty url") << QByteArray("new_version=4.11\nurl=") << QString() << "";
    QTest::newRow("empty version differs")
        << QByteArray("new_version=\nurl=http://dl.example/q") << "" << page;
    QTest::newRow("keys are case-sensitive")
        << QByteArray("New_version=4.11\nURL=http://d/") << QString() << "";
    QTest::newRow("a NUL ends the body")
        << QByteArray("new_version=4.11\nurl=http://dl.example/q\0/x\nnew_version=4.10", 52)
        << "4.11" << page;
    QTest::newRow("UTF-8, and bytes that are not")
        << QByteArray("x=\xff\xc3\nnew_version=\xc3\xa9\nurl=http://dl.example/q") << "\u00e9"
        << page;
}

void tst_UpdateReply::parse()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, newVersion);
    QFETCH(QString, url);
    QString version = "earlier", address = "earlier";
    QCOMPARE(launcher::parseUpdateReply(body, "4.10", version, address), !newVersion.isNull());
    QCOMPARE(version, newVersion.isNull() ? "earlier" : newVersion);
    QCOMPARE(address, newVersion.isNull() ? "earlier" : url);
}

void tst_UpdateReply::keys_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("key"); // null: no entry

    QTest::newRow("a combining mark, an Arabic-Indic digit, _")
        << QByteArray("e\xcc\x81\xd9\xa3_=1") << "e\u0301\u0663_";
    QTest::newRow("a letter outside the BMP is none")
        << QByteArray("a\xf0\x90\x90\x80=1") << QString();
    QTest::newRow("a letter of Unicode 14 is none on every Qt")
        << QByteArray("a\xe0\xa1\xb0=1") << QString();
    QTest::newRow("a symbol is none") << QByteArray("a\xc2\xb0=1") << QString();
}

void tst_UpdateReply::keys()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    const auto entries = launcher::updateReplyEntries(line);
    QCOMPARE(entries.isEmpty() ? QString() : entries.first().first, key);
}

void tst_UpdateReply::downloadPage_data()
{
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("page"); // empty: no download page, nothing offered

    QTest::newRow("platform as the only item") << "http://dl.example/q"
                                               << "http://dl.example/q?platform=windows";
    QTest::newRow("items kept in their order, platform added last, the scheme in lower case")
        << "HTTPS://d.example/?a=1&platform=mac"
        << "https://d.example/?a=1&platform=mac&platform=windows";
    // Anything but a web page is refused: none is offered.
    for (const char* refused : { "file:///bin/sh", "javascript:alert(1)", "d.example/get",
             " http://d.example/", "ftp://d.example/" })
        QTest::newRow(refused) << refused << "";
}

void tst_UpdateReply::downloadPage()
{
    QFETCH(QString, reported);
    QTEST(launcher::downloadPageAddress(reported), "page");
}

void tst_UpdateReply::signature_data()
{
    // The answer's lines after new_version and url, "%1" standing for the signature over the
    // message of (locale, product, platform, version, url) `signed`; whether it counts.
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QStringList>("signedOver");
    QTest::addColumn<bool>("counts");
    const QStringList request { "en_US", "quill", "windows", "4.11", "http://dl.example/q" };
    QStringList other = request;
    QTest::newRow("signed") << QByteArray("signature=%1") << request << true;
    QTest::newRow("CRLF, another key between")
        << QByteArray("x=y\r\nsignature=%1\r\n") << request << true;
    QTest::newRow("no signature") << QByteArray("x=%1") << request << false;
    QTest::newRow("twice") << QByteArray("signature=%1\nsignature=%1") << request << false;
    QTest::newRow("63 bytes") << QByteArray("signature=%1!") << request << false;
    QTest::newRow("a blank after it") << QByteArray("signature=%1 ") << request << false;
    for (int field = 0; field < request.size(); ++field) {
        other = request;
        other[field] += "x";
        QTest::newRow(qPrintable("made for another " + QString::number(field)))
            << QByteArray("signature=%1") << other << false;
    }
}

void tst_UpdateReply::signature()
{
    QFETCH(QByteArray, lines);
    QFETCH(QStringList, signedOver);
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES], secretKey[crypto_sign_SECRETKEYBYTES];
    QVERIFY(sodium_init() >= 0 && crypto_sign_keypair(publicKey, secretKey) == 0);
    const QByteArray message = launcher::signedAnswerMessage(
        signedOver[0], signedOver[1], signedOver[2], signedOver[3], signedOver[4]);
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
        reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()),
        secretKey);
    if (lines.endsWith('!'))
        signature.chop(1), lines.chop(1); // 63 bytes: base64 that ends "=", not "=="
    const QByteArray body
        = "new_version=4.11\nurl=http://dl.example/q\n" + lines.replace("%1", signature.toBase64());
    QTEST(launcher::isSignedAnswer(body,
              launcher::signedAnswerMessage(
                  "en_US", "quill", "windows", "4.11", "http://dl.example/q"),
              QByteArray(reinterpret_cast<const char*>(publicKey), sizeof publicKey)),
        "counts");
}

void tst_UpdateReply::hosts_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("onHosts"); // of example.com, *.example.net and b\u00fccher.example
    QTest::newRow("the host") << "https://example.com/get" << true;
    QTest::newRow("as the browser sees it") << "HTTPS://EXAMPLE.COM./get" << true;
    QTest::newRow("a subdomain of a wildcard") << "https://dl.a.example.net/" << true;
    QTest::newRow("a wildcard's own name") << "https://example.net/" << false;
    QTest::newRow("a subdomain of a host") << "https://dl.example.com/" << false;
    QTest::newRow("the name inside another") << "https://evilexample.com/" << false;
    QTest::newRow("the name as a subdomain") << "https://example.com.evil.net/" << false;
    QTest::newRow("the name as a user") << "https://example.com@evil.net/" << false;
    QTest::newRow("a name outside ASCII, as punycode") << "https://xn--bcher-kva.example/" << true;
}

void tst_UpdateReply::hosts()
{
    QFETCH(QString, page);
    launcher::setDownloadHosts(" example.com,*.EXAMPLE.net.,b\u00fccher.example");
    QTEST(launcher::isOnHosts(QUrl(page), launcher::downloadHosts()), "onHosts");
}

QTEST_APPLESS_MAIN(tst_UpdateReply)
#include "tst_updatereply.moc"
