// The real launcher with good, missing, broken and hostile product data: the language step never
// shows anything, never prints anything, never holds up the launch and never reads a file other
// than its tables and its default-language file.
#include "filefaults.h"
#include "support/productdir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <memory>
#include <vector>

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

// Markers in the files column for contents made at run time. A FIFO whose reader stays blocked
// for 3 s is set free, and the test fails.
const QByteArray fifo = "<fifo>";
const QByteArray hugeTable = "<50 MiB table>";
const QByteArray attributeBomb = "<attribute bomb>";
const QByteArray namespaceBomb = "<namespace bomb>";
const QByteArray blowup = "<quadratic blowup>";
const QByteArray hugeIni = "<50 MiB ini>";

QByteArray contents(const QByteArray& marker)
{
    const QByteArray entry = "<string><id>lic_quit_btn</id><value>x</value></string>";
    if (marker == hugeTable)
        return "<lum_objects>" + entry.repeated(50 * 1024 * 1024 / entry.size()) + "</lum_objects>";
    if (marker == attributeBomb) {
        QByteArray tag = "<lum_objects><string";
        for (int i = 0; i < 100000; ++i)
            tag += " a" + QByteArray::number(i) + "=''";
        return tag + "><id>lic_quit_btn</id><value>x</value></string></lum_objects>";
    }
    if (marker == namespaceBomb) {
        QByteArray document = "<lum_objects>";
        for (int i = 0; i < 40000; ++i)
            document += "<n xmlns:p" + QByteArray::number(i) + "='urn:n'>";
        return document + QByteArray("<p0:x/>").repeated(200000)
            + QByteArray("</n>").repeated(40000) + entry + "</lum_objects>";
    }
    if (marker == blowup)
        return "<!DOCTYPE lum_objects [<!ENTITY e \"" + QByteArray(4000, 'x')
            + "\">]><lum_objects><string><id>lic_quit_btn</id><value>"
            + QByteArray("&e;").repeated(100000) + "</value></string></lum_objects>";
    if (marker == hugeIni)
        return "language=de_DE\npadding=" + QByteArray(50 * 1024 * 1024, 'x') + "\n";
    return marker;
}

// What a hostile table points at; the launcher must never open it.
const QString markerName = QStringLiteral("marker.txt");

} // namespace

class tst_LanguageProcess : public QObject {
    Q_OBJECT

private slots:
    void silentLaunch_data();
    void silentLaunch();
    void readsNoOtherFile_data();
    void readsNoOtherFile();
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

    // Hostile product data: each must cost little and end in the ordinary launch.
    const QByteArray laughs = "<!DOCTYPE lum_objects [<!ENTITY a \"lollollollollol\">"
                              "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                              "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                              "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
                              "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                              "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">]>"
                              "<lum_objects><string><id>lic_quit_btn</id><value>&f;</value>"
                              "</string></lum_objects>";
    const QString defaultFile = "resources/default_settings.ini";
    QTest::newRow("50 MiB table") << true
                                  << Files { { tables + "strings_big.launcher.xml", hugeTable } }
                                  << QStringList { "-l", "big" };
    QTest::newRow("50 MiB fallback table")
        << true << Files { { tables + "strings_en_US.launcher.xml", hugeTable } } << QStringList();
    QTest::newRow("billion laughs")
        << true << Files { { tables + "strings_bomb.launcher.xml", laughs } }
        << QStringList { "-l", "bomb" };
    QTest::newRow("quadratic blowup")
        << true << Files { { tables + "strings_bomb.launcher.xml", blowup } }
        << QStringList { "-l", "bomb" };
    QTest::newRow("attribute bomb")
        << true << Files { { tables + "strings_bomb.launcher.xml", attributeBomb } }
        << QStringList { "-l", "bomb" };
    QTest::newRow("namespace bomb")
        << true << Files { { tables + "strings_bomb.launcher.xml", namespaceBomb } }
        << QStringList { "-l", "bomb" };
    QTest::newRow("FIFO table") << true << Files { { tables + "strings_fifo.launcher.xml", fifo } }
                                << QStringList { "-l", "fifo" };
    QTest::newRow("FIFO fallback table")
        << true << Files { { tables + "strings_en_US.launcher.xml", fifo } } << QStringList();
    QTest::newRow("FIFO default-language file")
        << true << Files { { defaultFile, fifo } } << QStringList();
    QTest::newRow("default-language file of 50 MiB")
        << true << Files { { defaultFile, hugeIni } } << QStringList();
    static const char binary[] = "\x7f"
                                 "ELF\x02\x01\x01\0[\xff\xfe=\n\0";
    QTest::newRow("binary default-language file")
        << true << Files { { defaultFile, QByteArray(binary, sizeof binary) } } << QStringList();
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
    std::vector<std::unique_ptr<Fifo>> fifos;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (it.value() == fifo) {
            QFile::remove(product.filePath(it.key()));
            fifos.emplace_back(new Fifo(product.filePath(it.key()), 3000));
            QVERIFY(fifos.back()->isValid());
        } else {
            QVERIFY(product.writeFile(it.key(), contents(it.value())));
        }
    }

    const ProductDir::Result run = product.runLauncher(arguments);
    for (const auto& made : fifos)
        QVERIFY2(!made->released(), "the launcher blocked on a FIFO until the test set it free");
    const QString problem = run.problem(1);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QList<QStringList> runs = product.recordedRuns(1);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first(), QStringList { "?launcher=launcher" });
}

void tst_LanguageProcess::readsNoOtherFile_data()
{
    // A table for the chosen language "x" that points at marker.txt beside it (MARKER is its
    // absolute path).
    QTest::addColumn<QByteArray>("table");

    const QByteArray body
        = "<lum_objects><string><id>lic_quit_btn</id><value>x</value></string></lum_objects>";
    QTest::newRow("external entity") << QByteArray(
        "<!DOCTYPE lum_objects [<!ENTITY x SYSTEM \"file://MARKER\">]><lum_objects><string>"
        "<id>lic_quit_btn</id><value>&x;</value></string></lum_objects>");
    QTest::newRow("relative external entity") << QByteArray(
        "<!DOCTYPE lum_objects [<!ENTITY x SYSTEM \"marker.txt\">]><lum_objects><string>"
        "<id>lic_quit_btn</id><value>&x;</value></string></lum_objects>");
    QTest::newRow("parameter entity")
        << "<!DOCTYPE lum_objects [<!ENTITY % p SYSTEM \"marker.txt\"> %p;]>" + body;
    QTest::newRow("external DTD") << "<!DOCTYPE lum_objects SYSTEM \"marker.txt\">" + body;
    QTest::newRow("XInclude") << QByteArray(
        "<lum_objects xmlns:xi='http://www.w3.org/2001/XInclude'><string>"
        "<id>lic_quit_btn</id><value><xi:include href='marker.txt' parse='text'/>"
        "</value></string></lum_objects>");
    QTest::newRow("doc() and xml:base")
        << QByteArray("<lum_objects xml:base='file://MARKER'><string><id>lic_quit_btn</id>"
                      "<value>doc('MARKER')</value></string></lum_objects>");
    QTest::newRow("stylesheet") << "<?xml-stylesheet type='text/xsl' href='marker.txt'?>" + body;
}

void tst_LanguageProcess::readsNoOtherFile()
{
    QFETCH(QByteArray, table);

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());
    QVERIFY2(copyShippedData(product), "cannot copy the installed product data");
    const QString tables = product.filePath("resources/languages");
    QVERIFY(product.writeFile("resources/languages/" + markerName, "MARKER"));
    QVERIFY(product.writeFile("resources/languages/strings_x.launcher.xml",
        table.replace("MARKER", QFile::encodeName(tables + "/" + markerName))));

    OpenWatch watch({ tables, product.filePath("resources") });
    QVERIFY(watch.isValid());
    const ProductDir::Result run = product.runLauncher({ "-l", "x" });
    // Taken before the test itself looks for the recorder's files in the directory tree.
    const QStringList opened = watch.openedFiles();
    const QString problem = run.problem(1);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(product.recordedRuns(1).size(), 1);

    const QStringList expected { "strings_en_US.launcher.xml", "strings_x.launcher.xml" };
    for (const QString& name : opened)
        QVERIFY2(expected.contains(name), qPrintable("the launcher opened " + name));
    QVERIFY2(opened.contains(expected.last()), "the watch did not see the table being read");
}

QTEST_GUILESS_MAIN(tst_LanguageProcess)
#include "tst_languageprocess.moc"
