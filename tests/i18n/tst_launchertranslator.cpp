// The translator with the built-in settings, as the launcher has them: the test lays out the
// product data (resources/...) beside its own executable, which lives in a directory of its own,
// and keeps the user's settings in a temporary configuration directory.
#include "support/ownsettings.h"
#include "filefaults.h"
#include "i18n/launchertranslator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamWriter>

#include <memory>

using launcher::LauncherTranslator;

using Table = QMap<QString, QString>;

namespace {

// Markers for the default-language file's column.
const QByteArray missingFile = "<missing>";
const QByteArray directoryInstead = "<directory>";
const QByteArray fifoInstead = "<fifo>";
const QByteArray deviceInstead = "<device>";
const QByteArray unreadable = "<unreadable>";

QString productDataDir() { return QCoreApplication::applicationDirPath() + "/resources"; }

QString defaultFilePath() { return productDataDir() + "/default_settings.ini"; }

// QSettings keeps the files it has read and reads one again only when its size or modification
// time changed; rows that rewrite a file within the same clock tick would otherwise see the
// previous row's contents. Every write gets a time of its own.
bool writeFile(const QString& path, const QByteArray& contents)
{
    static QDateTime stamp = QDateTime::currentDateTimeUtc().addDays(-1);
    stamp = stamp.addSecs(1);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(contents) == contents.size()
        && file.setFileTime(stamp, QFileDevice::FileModificationTime);
}

bool writeTable(const QString& language, const Table& entries)
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartDocument();
    writer.writeStartElement("lum_objects");
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        writer.writeStartElement("string");
        writer.writeTextElement("id", it.key());
        writer.writeTextElement("value", it.value());
        writer.writeEndElement();
    }
    writer.writeEndDocument();
    return writeFile(productDataDir() + "/languages/strings_" + language + ".launcher.xml", xml);
}

QString userSettingsFile()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + "/Nimbrel/"
        + QCoreApplication::applicationName() + ".conf";
}

// The FIFO and the unreadable file are made by the test itself.
bool writeDefaultFile(const QByteArray& contents)
{
    const QString path = defaultFilePath();
    if (contents == missingFile || contents == fifoInstead)
        return !QFileInfo::exists(path);
    if (contents == directoryInstead)
        return QDir().mkpath(path);
    if (contents == deviceInstead)
        return QDir().mkpath(productDataDir()) && QFile::link("/dev/zero", path);
    if (contents == unreadable)
        return writeFile(path, "language=fr_FR\n")
            && QFile::setPermissions(path, QFileDevice::WriteOwner);
    return writeFile(path, contents);
}

// An INI file of exactly `size` bytes that names `language`.
QByteArray paddedDefaultFile(const QByteArray& language, int size)
{
    QByteArray contents = "language=" + language + "\npadding=";
    contents += QByteArray(size - contents.size() - 1, 'x') + '\n';
    return contents;
}

// Bytes without any structure, the same in every run.
QByteArray noise(int size)
{
    QByteArray bytes(size, '\0');
    quint32 state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 16);
    }
    return bytes;
}

QString translated(const QTranslator& translator, const char* context, const char* sourceText)
{
    return translator.translate(context, sourceText);
}

} // namespace

class tst_LauncherTranslator : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void languageChoice_data();
    void languageChoice();
    void lookup_data();
    void lookup();
    void installed();
};

void tst_LauncherTranslator::init()
{
    QDir(productDataDir()).removeRecursively();
    QFile::remove(userSettingsFile());
}

void tst_LauncherTranslator::cleanup()
{
    QDir(productDataDir()).removeRecursively();
    QFile::remove(userSettingsFile());
}

void tst_LauncherTranslator::languageChoice_data()
{
    QTest::addColumn<QString>("requested");
    QTest::addColumn<QByteArray>("userSettings"); // a null array: no user settings at all
    QTest::addColumn<QByteArray>("defaultFile");
    QTest::addColumn<QString>("chosen");

    const QByteArray noUser;
    const QByteArray japanese = QByteArray("\xe6\x97\xa5\xe6\x9c\xac");

    QTest::newRow("-l first") << "it_IT" << QByteArray("language=de_DE\n")
                              << QByteArray("language=fr_FR\n") << "it_IT";
    QTest::newRow("-l first, even en_US")
        << "en_US" << QByteArray("language=de_DE\n") << QByteArray("language=fr_FR\n") << "en_US";
    QTest::newRow("-l first, broken default file")
        << "it_IT" << noUser << QByteArray("[broken\n") << "it_IT";
    QTest::newRow("user setting before default file")
        << "" << QByteArray("language=de_DE\n") << QByteArray("language=fr_FR\n") << "de_DE";
    QTest::newRow("empty user setting wins")
        << "" << QByteArray("language=\n") << QByteArray("language=fr_FR\n") << "";
    QTest::newRow("user setting read as UTF-8")
        << ""
        << "language=" + japanese + "\n"
        << QByteArray("language=fr_FR\n") << QString::fromUtf8(japanese);
    QTest::newRow("user settings without the key")
        << "" << QByteArray("other=de_DE\n") << QByteArray("language=fr_FR\n") << "fr_FR";
    QTest::newRow("user key inside a group does not count")
        << "" << QByteArray("[somewhere]\nlanguage=de_DE\n") << QByteArray("language=fr_FR\n")
        << "fr_FR";
    QTest::newRow("default file") << "" << noUser << QByteArray("language=fr_FR\n") << "fr_FR";
    QTest::newRow("default file as shipped, CRLF and blanks")
        << "" << noUser << QByteArray("language = fr_FR\r\n") << "fr_FR";
    QTest::newRow("default file without the key")
        << "" << noUser << QByteArray("[other]\nlanguage=fr_FR\n") << "en_US";
    QTest::newRow("default file missing") << "" << noUser << missingFile << "en_US";
    QTest::newRow("default file unreadable") << "" << noUser << directoryInstead << "";
    QTest::newRow("default file malformed, open group")
        << "" << noUser << QByteArray("language=fr_FR\n[broken\n") << "";
    QTest::newRow("default file malformed, key without =")
        << "" << noUser << QByteArray("language\n") << "";

    // Hostile default-language files: never read past 1 MiB, never blocking, never a language
    // taken from noise.
    QTest::newRow("default file of 1 MiB")
        << "" << noUser << paddedDefaultFile("fr_FR", 1024 * 1024) << "fr_FR";
    QTest::newRow("default file one byte larger")
        << "" << noUser << paddedDefaultFile("fr_FR", 1024 * 1024 + 1) << "";
    QTest::newRow("default file of 50 MiB")
        << "" << noUser << paddedDefaultFile("fr_FR", 50 * 1024 * 1024) << "";
    QTest::newRow("binary default file") << "" << noUser << noise(64 * 1024) << "";
    QTest::newRow("default file a FIFO") << "" << noUser << fifoInstead << "";
    QTest::newRow("default file a device") << "" << noUser << deviceInstead << "";
    QTest::newRow("default file without read permission") << "" << noUser << unreadable << "";
    QTest::newRow("-l first, default file a FIFO") << "it_IT" << noUser << fifoInstead << "it_IT";
}

void tst_LauncherTranslator::languageChoice()
{
    QFETCH(QString, requested);
    QFETCH(QByteArray, userSettings);
    QFETCH(QByteArray, defaultFile);
    QFETCH(QString, chosen);

    // Every language a row may choose has a table that names it; the empty language's table is
    // strings_.launcher.xml.
    const QStringList languages { "en_US", "de_DE", "fr_FR", "it_IT",
        QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac"), "" };
    for (const QString& language : languages)
        QVERIFY(writeTable(language, { { "lic_language", "table " + language } }));
    if (!userSettings.isNull())
        QVERIFY(writeFile(userSettingsFile(), userSettings));
    QVERIFY2(writeDefaultFile(defaultFile), "cannot lay out the default-language file");
    std::unique_ptr<Fifo> fifo;
    if (defaultFile == fifoInstead) {
        // A reader blocked on it is set free after 3 s, and the test fails.
        fifo.reset(new Fifo(defaultFilePath(), 3000));
        QVERIFY(fifo->isValid());
    }
    std::unique_ptr<PermissionsBind> permissions;
    if (defaultFile == unreadable) {
        permissions.reset(new PermissionsBind);
        if (!permissions->isActive())
            QSKIP("running as root, and the capabilities that let root read any file cannot be "
                  "dropped here");
        if (QFile(defaultFilePath()).open(QIODevice::ReadOnly))
            QSKIP("file permissions do not stop this process from reading");
    }

    const LauncherTranslator translator(nullptr, requested);
    permissions.reset();
    if (fifo)
        QVERIFY2(!fifo->released(), "the translator blocked on a FIFO until the test set it free");
    QCOMPARE(translated(translator, "LauncherClass", "lic_language"), "table " + chosen);

    if (!userSettings.isNull()) {
        QFile user(userSettingsFile());
        QVERIFY(user.open(QIODevice::ReadOnly));
        QVERIFY2(user.readAll() == userSettings, "the user's settings were changed");
    }
}

void tst_LauncherTranslator::lookup_data()
{
    QTest::addColumn<QByteArray>("context"); // a null array: no context
    QTest::addColumn<QByteArray>("sourceText");
    QTest::addColumn<QString>("text"); // a null string: no translation

    const QByteArray none;
    const QByteArray theme = "QPlatformTheme";
    const QString noText;

    QTest::newRow("chosen table first") << none << QByteArray("lic_both") << "de both";
    QTest::newRow("same text in any context")
        << QByteArray("launcher::Launcher") << QByteArray("lic_both") << "de both";
    QTest::newRow("empty text is not absent") << none << QByteArray("lic_empty") << "";
    QTest::newRow("fallback table") << theme << QByteArray("lic_only_en") << "en only";
    QTest::newRow("in neither table") << none << QByteArray("lic_nowhere") << noText;

    QTest::newRow("&Yes without context") << none << QByteArray("&Yes") << "&Ja";
    QTest::newRow("&Yes, framework context") << theme << QByteArray("&Yes") << "&Ja";
    QTest::newRow("&Yes, any context") << QByteArray("Other") << QByteArray("&Yes") << "&Ja";
    QTest::newRow("Cancel from the fallback") << theme << QByteArray("Cancel") << "Cancel (en)";
    QTest::newRow("Abort in neither table") << theme << QByteArray("Abort") << noText;
    // "&No" stands for lic_no_btn, which neither table holds; the entry named "&No" is not asked.
    QTest::newRow("&No in neither table") << theme << QByteArray("&No") << noText;
    QTest::newRow("Yes without accelerator is no button text")
        << theme << QByteArray("Yes") << noText;

    QTest::newRow("upper-case prefix") << none << QByteArray("LIC_x") << "upper case";
    QTest::newRow("shorter than the prefix") << none << QByteArray("lic") << "short";
    QTest::newRow("prefix without underscore") << none << QByteArray("licx") << "no underscore";
    QTest::newRow("placeholder text of a form")
        << QByteArray("LauncherClass") << QByteArray("Product title") << "Produktname";
    QTest::newRow("UTF-8 identifier") << none << QByteArray("lic_\xc3\xa9t\xc3\xa9") << "Sommer";
    QTest::newRow("empty source text") << none << QByteArray("") << noText;
}

void tst_LauncherTranslator::lookup()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, sourceText);
    QFETCH(QString, text);

    QVERIFY(writeTable("en_US",
        { { "lic_both", "en both" }, { "lic_empty", "en text" }, { "lic_only_en", "en only" },
            { "lic_cancel_btn", "Cancel (en)" } }));
    QVERIFY(writeTable("de_DE",
        { { "lic_both", "de both" }, { "lic_empty", "" }, { "lic_yes_btn", "&Ja" },
            { "&No", "Nein" }, { "LIC_x", "upper case" }, { "lic", "short" },
            { "licx", "no underscore" }, { "Product title", "Produktname" },
            { QString::fromUtf8("lic_\xc3\xa9t\xc3\xa9"), "Sommer" } }));

    const LauncherTranslator translator(nullptr, "de_DE");
    const QString result = translated(
        translator, context.isNull() ? nullptr : context.constData(), sourceText.constData());
    QCOMPARE(result, text);
    QCOMPARE(result.isNull(), text.isNull());
}

void tst_LauncherTranslator::installed()
{
    QVERIFY(writeTable("en_US",
        { { "lic_update_question", "en question" }, { "lic_cancel_btn", "Cancel (en)" },
            { "lic_empty", "en text" } }));
    QVERIFY(writeTable("de_DE",
        { { "lic_update_question", "Neue Version?" }, { "lic_yes_btn", "&Ja" },
            { "lic_no_btn", "&Nein" }, { "lic_empty", "" } }));
    QVERIFY(writeFile(userSettingsFile(), "language=de_DE\n"));

    auto* translator = new LauncherTranslator(qApp, QString());
    QCoreApplication::installTranslator(translator);
    const std::unique_ptr<LauncherTranslator> owner(translator);

    // A present but empty text is shown empty, not replaced by the identifier.
    QCOMPARE(QCoreApplication::translate("LauncherClass", "lic_empty"), QString(""));
    QCOMPARE(QCoreApplication::translate("LauncherClass", "lic_nowhere"), QString("lic_nowhere"));

    QMessageBox box(QMessageBox::Information, "Pellam Author", QObject::tr("lic_update_question"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::Abort);
    QCOMPARE(box.text(), QString("Neue Version?"));
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QString("&Ja"));
    QCOMPARE(box.button(QMessageBox::No)->text(), QString("&Nein"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QString("Cancel (en)"));
    // Neither table holds lic_abort_btn: the framework's own text.
    QCOMPARE(box.button(QMessageBox::Abort)->text(), QString("Abort"));

    QCoreApplication::removeTranslator(translator);
}

int main(int argc, char* argv[])
{
    const int result = execWithOwnSettings<tst_LauncherTranslator>(argc, argv, "launcher");
    QDir(productDataDir()).removeRecursively();
    return result;
}

#include "tst_launchertranslator.moc"
