// The vendor's tool: which releases it refuses to write, and the tree it writes for the others.
#include "updatetreewriter.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

using Release = UpdateTreeWriter::Release;
Q_DECLARE_METATYPE(Release)

class tst_UpdateTreeWriter : public QObject {
    Q_OBJECT

private slots:
    void problem_data();
    void problem();
    void write();
};

static Release release()
{
    Release good;
    good.product = "quill";
    good.locales = QStringList { "en_US", "de_DE" };
    good.platform = "windows";
    good.fieldVersions = QStringList { "4.9", "4.10" };
    good.newestVersion = "4.11";
    good.downloadUrl = "https://www.example.com/%1/download";
    return good;
}

void tst_UpdateTreeWriter::problem_data()
{
    QTest::addColumn<Release>("release");
    QTest::addColumn<QString>("problem");
    Release r = release();
    QTest::newRow("a good release") << r << "";
    r = release(), r.locales.clear();
    QTest::newRow("no locale") << r << "no locale given";
    r = release(), r.newestVersion.clear();
    QTest::newRow("no newest version") << r << "no newest version given";
    for (const char* url : { "ftp://x/", "file:///x", "x/y", "javascript:x" }) {
        r = release(), r.downloadUrl = url;
        QTest::newRow(url) << r << "the download page must be an http or https address";
    }
    r = release(), r.downloadUrl = "https://x/\nnew_version=9";
    QTest::newRow("a line of its own in the address") << r << "the download page must be one line";
    for (const char* element : { "..", ".", "a/b", "a b", "", "%2e%2e", "\u00e9" }) {
        r = release(), r.product = element;
        QTest::newRow(qPrintable(QString("product ") + element))
            << r << QString("\"%1\" cannot be part of a request path").arg(element);
    }
    r = release(), r.locales << "..";
    QTest::newRow("a locale that climbs") << r << "\"..\" cannot be part of a request path";
    r = release(), r.fieldVersions << "4/5";
    QTest::newRow("a version that nests") << r << "\"4/5\" cannot be part of a request path";
}

void tst_UpdateTreeWriter::problem()
{
    QFETCH(Release, release);
    QTEST(UpdateTreeWriter::problem(release), "problem");
}

void tst_UpdateTreeWriter::write()
{
    QTemporaryDir dir;
    QString error;
    const QStringList written = UpdateTreeWriter::write(dir.path(), release(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QStringList files;
    for (QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << QDir(dir.path()).relativeFilePath(it.next());
    files.sort();
    QStringList expected;
    for (const char* locale : { "de_DE", "en_US" })
        for (const char* file : { "info_4.10.php", "info_4.11.php", "info_4.9.php", "latest.txt" })
            expected << QString("sw/%1/quill/windows/%2").arg(locale, file);
    QCOMPARE(files, expected);
    QStringList sortedWritten = written;
    sortedWritten.sort();
    QCOMPARE(sortedWritten, expected);
    QFile answer(dir.filePath("sw/de_DE/quill/windows/info_4.9.php"));
    QVERIFY(answer.open(QIODevice::ReadOnly));
    QCOMPARE(answer.readAll(),
        QByteArray("new_version=4.11\r\nurl=https://www.example.com/de_DE/download\r\n"));
}

QTEST_APPLESS_MAIN(tst_UpdateTreeWriter)
#include "tst_updatetreewriter.moc"
