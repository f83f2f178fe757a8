// How a reply body is read: lines, entries, the last entry of a key, the NUL that ends the body,
// and when the result counts as a newer version.
#include "update/updatereply.h"

#include <QTest>

class tst_UpdateReply : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void resultsUntouchedWithoutNewerVersion();
};

void tst_UpdateReply::parse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("currentVersion");
    QTest::addColumn<bool>("newer");
    QTest::addColumn<QString>("newVersion");
    QTest::addColumn<QString>("url");

    const QString page = QStringLiteral("http://dl.example/quill");

    QTest::newRow("newer version") << QByteArray("new_version=4.11\nurl=http://dl.example/quill")
                                   << "4.10" << true << "4.11" << page;
    QTest::newRow("same version") << QByteArray("new_version=4.11\nurl=http://dl.example/quill")
                                  << "4.11" << false << ""
                                  << "";
    QTest::newRow("lower version counts as newer")
        << QByteArray("new_version=4.9\nurl=http://dl.example/quill") << "4.10" << true << "4.9"
        << page;
    QTest::newRow("compared as text, not as numbers")
        << QByteArray("new_version=4.10.0\nurl=http://dl.example/quill") << "4.10" << true
        << "4.10.0" << page;
    QTest::newRow("case counts") << QByteArray("new_version=4.11-RC\nurl=http://dl.example/quill")
                                 << "4.11-rc" << true << "4.11-RC" << page;
    QTest::newRow("CRLF") << QByteArray("new_version=4.11\r\nurl=http://dl.example/quill\r\n")
                          << "4.10" << true << "4.11" << page;
    QTest::newRow("blank lines and mixed ends")
        << QByteArray("\r\n\r\nnew_version=4.11\n\n\r\r\nurl=http://dl.example/quill\n\n") << "4.10"
        << true << "4.11" << page;
    QTest::newRow("other lines ignored")
        << QByteArray("# comment\nnews=yes\nnew_version=4.11\ngarbage\nurl=http://dl.example/quill")
        << "4.10" << true << "4.11" << page;
    QTest::newRow("spaces around = are no entry")
        << QByteArray("new_version = 4.11\nurl=http://dl.example/quill") << "4.10" << false << ""
        << "";
    QTest::newRow("space before = is no entry")
        << QByteArray("new_version =4.11\nurl=http://dl.example/quill") << "4.10" << false << ""
        << "";
    QTest::newRow("space after = is part of the value")
        << QByteArray("new_version= 4.11\nurl=http://dl.example/quill") << "4.10" << true << " 4.11"
        << page;
    QTest::newRow("trailing space kept, so it differs")
        << QByteArray("new_version=4.10 \nurl=http://dl.example/quill ") << "4.10" << true
        << "4.10 "
        << "http://dl.example/quill ";
    QTest::newRow("url with = and & stays whole")
        << QByteArray("new_version=4.11\nurl=http://dl.example/get?a=1&b=2==&c") << "4.10" << true
        << "4.11"
        << "http://dl.example/get?a=1&b=2==&c";
    QTest::newRow("last entry of a key wins")
        << QByteArray("new_version=4.12\nurl=http://old.example/\nnew_version=4.11\n"
                      "url=http://dl.example/quill")
        << "4.10" << true << "4.11" << page;
    QTest::newRow("last entry wins, even when it is the current version")
        << QByteArray("new_version=4.11\nnew_version=4.10\nurl=http://dl.example/quill") << "4.10"
        << false << ""
        << "";
    QTest::newRow("empty url") << QByteArray("new_version=4.11\nurl=") << "4.10" << false << ""
                               << "";
    QTest::newRow("no url") << QByteArray("new_version=4.11") << "4.10" << false << ""
                            << "";
    QTest::newRow("no version") << QByteArray("url=http://dl.example/quill") << "4.10" << false
                                << ""
                                << "";
    QTest::newRow("empty version differs from the current one")
        << QByteArray("new_version=\nurl=http://dl.example/quill") << "4.10" << true << "" << page;
    QTest::newRow("keys are case-sensitive")
        << QByteArray("New_Version=4.11\nURL=http://dl.example/quill") << "4.10" << false << ""
        << "";
    QTest::newRow("bytes after NUL ignored")
        << QByteArray("new_version=4.11\nurl=http://dl.example/quill\n\0url=\nnew_version=4.10", 60)
        << "4.10" << true << "4.11" << page;
    QTest::newRow("NUL inside a value ends it")
        << QByteArray("new_version=4.11\nurl=http://dl.example/quill\0/more", 50) << "4.10" << true
        << "4.11" << page;
    QTest::newRow("UTF-8 values") << QByteArray("new_version=4.11 \xc3\xa9t\xc3\xa9\nurl=http://"
                                                "dl.example/\xe6\x97\xa5")
                                  << "4.10" << true << QString::fromUtf8("4.11 \xc3\xa9t\xc3\xa9")
                                  << QString::fromUtf8("http://dl.example/\xe6\x97\xa5");
    QTest::newRow("invalid UTF-8 does not stop the reading")
        << QByteArray("x=\xff\xfe\xc3\nnew_version=4.11\nurl=http://dl.example/quill") << "4.10"
        << true << "4.11" << page;
    QTest::newRow("a million-character line before the answer")
        << "x=" + QByteArray(1000000, 'y') + "\nnew_version=4.11\nurl=http://dl.example/quill"
        << "4.10" << true << "4.11" << page;
    QTest::newRow("empty body") << QByteArray() << "4.10" << false << ""
                                << "";
}

void tst_UpdateReply::parse()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, currentVersion);
    QFETCH(bool, newer);
    QFETCH(QString, newVersion);
    QFETCH(QString, url);

    QString reportedVersion;
    QString reportedUrl;
    QCOMPARE(launcher::parseUpdateReply(body, currentVersion, reportedVersion, reportedUrl), newer);
    QCOMPARE(reportedVersion, newVersion);
    QCOMPARE(reportedUrl, url);
}

void tst_UpdateReply::resultsUntouchedWithoutNewerVersion()
{
    QString version = QStringLiteral("earlier");
    QString url = QStringLiteral("http://earlier.example/");
    QVERIFY(!launcher::parseUpdateReply("new_version=4.11\nurl=", "4.10", version, url));
    QCOMPARE(version, QStringLiteral("earlier"));
    QCOMPARE(url, QStringLiteral("http://earlier.example/"));
}

QTEST_APPLESS_MAIN(tst_UpdateReply)
#include "tst_updatereply.moc"
