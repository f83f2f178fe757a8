// How a reply body is read, when it counts as a newer version, and which download page is offered
// for the address it reports.
#include "update/updateoffer.h"
#include "update/updatereply.h"

#include <QTest>

class tst_UpdateReply : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void downloadPage_data();
    void downloadPage();
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

void tst_UpdateReply::downloadPage_data()
{
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("page"); // empty: no download page, nothing offered

    QTest::newRow("platform as the only item")
        << "http://dl.example/q" << "http://dl.example/q?platform=windows";
    QTest::newRow("items kept in their order, platform added last, the scheme in lower case")
        << "HTTPS://d.example/?a=1&platform=mac" << "https://d.example/?a=1&platform=mac&platform=windows";
    QTest::newRow("a file on the local disk") << "file:///bin/sh" << "";
    QTest::newRow("a script") << "javascript:alert(1)" << "";
    QTest::newRow("no scheme") << "d.example/get" << "";
    QTest::newRow("a blank before the scheme") << " http://d.example/" << "";
    QTest::newRow("another protocol") << "ftp://d.example/" << "";
}

void tst_UpdateReply::downloadPage()
{
    QFETCH(QString, reported);
    QTEST(launcher::downloadPageAddress(reported), "page");
}

QTEST_APPLESS_MAIN(tst_UpdateReply)
#include "tst_updatereply.moc"
