// The real launcher with good, missing and broken product data: the language step never shows
// anything, never prints anything and never holds up the launch.
#include "support/productdir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

using Files = QMap<QString, QByteArray>;

namespace {

const QString installedData = QStringLiteral(LAUNCHER_BIN_DIR "/resources");

bool copyShippedData(ProductDir& product)
{
    QDirIterator it(installedData, QDir::Files, QDirIterator::Subdirectories);
    bool copied = false;
    while (it.hasNext()) {
        const QString source = it.next();
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly)
            || !product.writeFile(
                "resources/" + QDir(installedData).relativeFilePath(source), file.readAll()))
            return false;
        copied = true;
    }
    return copied;
}

} // namespace

class tst_LanguageProcess : public QObject {
    Q_OBJECT

private slots:
    void silentLaunch_data();
    void silentLaunch();
};

void tst_LanguageProcess::silentLaunch_data()
{
    QTest::addColumn<bool>("shippedData");
    QTest::addColumn<Files>("files"); // written over the shipped data
    QTest::addColumn<QStringList>("arguments");

    const QString tables = "resources/languages/";
    const QByteArray malformed = "<lum_objects><string><id>lic_quit_btn</id><value>x</value>";
    const QByteArray twoIds = "<lum_objects><string><id>a</id><id>b</id></string></lum_objects>";
    const QString userSettings = ".home/config/Nimbrel/launcher.conf";

    QTest::newRow("shipped data, default language") << true << Files() << QStringList();
    for (const char* language : { "de_DE", "fr_FR", "es_ES", "it_IT", "ja_JP", "ru_RU", "zh_CN" })
        QTest::newRow(language) << true << Files() << QStringList { "-l", language };
    QTest::newRow("missing table") << true << Files() << QStringList { "-l", "xx_XX" };
    QTest::newRow("malformed table")
        << true << Files { { tables + "strings_bad.launcher.xml", malformed } }
        << QStringList { "-l", "bad" };
    QTest::newRow("entry with two ids")
        << true << Files { { tables + "strings_two.launcher.xml", twoIds } }
        << QStringList { "-l", "two" };
    QTest::newRow("malformed fallback table")
        << true << Files { { tables + "strings_en_US.launcher.xml", malformed } } << QStringList();
    QTest::newRow("no product data") << false << Files() << QStringList { "-l", "de_DE" };
    QTest::newRow("malformed default-language file")
        << true << Files { { "resources/default_settings.ini", "[broken\n" } } << QStringList();
    QTest::newRow("user setting names a missing table")
        << true << Files { { userSettings, "language=zz\n" } } << QStringList();
    QTest::newRow("hostile -l") << true << Files()
                                << QStringList { "-l", "x') | doc('/etc/passwd'), ('&amp;}{\n" };
}

void tst_LanguageProcess::silentLaunch()
{
    QFETCH(bool, shippedData);
    QFETCH(Files, files);
    QFETCH(QStringList, arguments);

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());
    if (shippedData)
        QVERIFY2(copyShippedData(product), "cannot copy the installed product data");
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QVERIFY(product.writeFile(it.key(), it.value()));

    const ProductDir::Result run = product.runLauncher(arguments);
    const QString problem = run.problem(1);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QList<QStringList> runs = product.recordedRuns(1);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first(), QStringList { "?launcher=launcher" });
}

QTEST_GUILESS_MAIN(tst_LanguageProcess)
#include "tst_languageprocess.moc"
