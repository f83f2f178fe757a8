// The vendor's tool: which releases it refuses to write, and the key pair it makes. The tree it
// writes for the others is served by nginx to the launcher in the scenario rows.
#include "update/answersignature.h"
#include "updatetreewriter.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using launcher::isSignedAnswer;
using launcher::signedAnswerMessage;
using Release = UpdateTreeWriter::Release;
Q_DECLARE_METATYPE(Release)

class tst_UpdateTreeWriter : public QObject {
    Q_OBJECT

private slots:
    void problem_data();
    void problem();
    void newKey();
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

// The secret key stays its owner's and is never overwritten; what it signs verifies with the public
// key printed for the knob, for the locale it was written for.
void tst_UpdateTreeWriter::newKey()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("vendor.key");
    QString error;
    const QByteArray publicKey = UpdateTreeWriter::newKey(file, &error);
    QVERIFY2(QByteArray::fromBase64(publicKey).size() == 32, qPrintable(error));
    QCOMPARE(QFileInfo(file).permissions(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    const QByteArray before = UpdateTreeWriter::readKey(file);
    QVERIFY2(UpdateTreeWriter::newKey(file, &error).isEmpty(), "an existing key was replaced");
    QCOMPARE(UpdateTreeWriter::readKey(file), before);

    Release r = release();
    r.signingKey = before;
    const QByteArray body = UpdateTreeWriter::replyBody(r, "de_DE");
    const QByteArray key = QByteArray::fromBase64(publicKey);
    QVERIFY2(isSignedAnswer(body,
                 signedAnswerMessage("de_DE", "quill", "windows", "4.11",
                     "https://www.example.com/de_DE/download"),
                 key),
        body.constData());
}

QTEST_APPLESS_MAIN(tst_UpdateTreeWriter)
#include "tst_updatetreewriter.moc"
