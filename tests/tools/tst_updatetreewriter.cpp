// The vendor's tool: which releases it refuses to write. The tree it writes for the others is
// served by nginx to the launcher in the scenario rows.
#include "updatetreewriter.h"

#include <QTest>

using Release = UpdateTreeWriter::Release;
Q_DECLARE_METATYPE(Release)

class tst_UpdateTreeWriter : public QObject {
    Q_OBJECT

private slots:
    void problem_data();
    void problem();
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

QTEST_APPLESS_MAIN(tst_UpdateTreeWriter)
#include "tst_updatetreewriter.moc"
