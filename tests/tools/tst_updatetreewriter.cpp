#include "update/updatereply.h"
#include "updatetreewriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_UpdateTreeWriter : public QObject {
    Q_OBJECT

private slots:
    void tree();
    void refused_data();
    void refused();
};

static QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void tst_UpdateTreeWriter::tree()
{
    QTemporaryDir dir;
    UpdateTreeWriter::Release release;
    release.product = "quill";
    release.locales = QStringList { "en_US", "de_DE" };
    release.platform = "windows";
    release.fieldVersions = QStringList { "4.9", "4.10", "4.9" };
    release.newestVersion = "4.11";
    release.downloadUrl = "https://www.example.com/%1/download?a=1&b=2";
    QString error;
    const QStringList written = UpdateTreeWriter::write(dir.path(), release, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(written.size(), 2 * 4); // 4.9, 4.10, the newest, latest.txt; for each locale

    const QString de = dir.filePath("sw/de_DE/quill/windows/");
    for (const char* file : { "info_4.9.php", "info_4.10.php", "info_4.11.php", "latest.txt" })
        QCOMPARE(contents(de + QLatin1String(file)),
            QByteArray(
                "new_version=4.11\r\nurl=https://www.example.com/de_DE/download?a=1&b=2\r\n"));

    // What a launcher makes of the files: the field hears of the newest, the newest of nothing.
    QString newVersion, url;
    QVERIFY(launcher::parseUpdateReply(contents(de + "info_4.10.php"), "4.10", newVersion, url));
    QCOMPARE(newVersion, QStringLiteral("4.11"));
    QCOMPARE(url, QStringLiteral("https://www.example.com/de_DE/download?a=1&b=2"));
    QVERIFY(!launcher::parseUpdateReply(contents(de + "info_4.11.php"), "4.11", newVersion, url));
}

void tst_UpdateTreeWriter::refused_data()
{
    QTest::addColumn<QString>("field"); // which value is replaced
    QTest::addColumn<QString>("value");

    QTest::newRow("climbing product") << "product"
                                      << "../etc";
    QTest::newRow("nested locale") << "locale"
                                   << "en/US";
    QTest::newRow("empty locale list") << "locale"
                                       << "";
    QTest::newRow("version with a blank") << "version"
                                          << "4 11";
    QTest::newRow("dot version") << "version"
                                 << "..";
    QTest::newRow("file address") << "url"
                                  << "file:///etc/passwd";
    QTest::newRow("two-line address") << "url"
                                      << "https://a/\r\nnew_version=9";
    QTest::newRow("no newest") << "newest"
                               << "";
}

void tst_UpdateTreeWriter::refused()
{
    QFETCH(QString, field);
    QFETCH(QString, value);

    UpdateTreeWriter::Release release;
    release.product = "quill";
    release.locales = QStringList { "en_US" };
    release.platform = "windows";
    release.fieldVersions = QStringList { "4.10" };
    release.newestVersion = "4.11";
    release.downloadUrl = "https://www.example.com/";
    if (field == "product")
        release.product = value;
    else if (field == "locale")
        release.locales = value.isEmpty() ? QStringList() : QStringList { value };
    else if (field == "version")
        release.fieldVersions << value;
    else if (field == "url")
        release.downloadUrl = value;
    else
        release.newestVersion = value;

    QTemporaryDir dir;
    QString error;
    QVERIFY(UpdateTreeWriter::write(dir.path(), release, &error).isEmpty());
    QVERIFY2(!error.isEmpty(), "a refused release must say why");
    QVERIFY2(QDir(dir.path()).isEmpty(), "nothing may be written for a refused release");
}

QTEST_APPLESS_MAIN(tst_UpdateTreeWriter)
#include "tst_updatetreewriter.moc"
