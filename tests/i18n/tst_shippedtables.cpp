// The string tables and the default-language file that ship with the product, read by the
// launcher's own reader from where the build installs them.
#include "i18n/stringtable.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

namespace {

const QString installedDir = QStringLiteral(LAUNCHER_BIN_DIR "/resources");
const QString sourceDir = QStringLiteral(PRODUCT_DATA_SOURCE_DIR);

const QStringList shippedLanguages { "en_US", "de_DE", "fr_FR", "es_ES", "it_IT", "ja_JP", "ru_RU",
    "zh_CN" };

// Every identifier the launcher asks for, with the place markers its text must hold.
const QMap<QString, QStringList> requested {
    { "lic_update_question", {} },
    { "lic_update_link", { "%1" } },
    { "lic_product_version", { "%1" } },
    { "lic_quit_btn", {} },
    { "lic_launch_btn", {} },
    { "lic_yes_btn", {} },
    { "lic_no_btn", {} },
    { "lic_cancel_btn", {} },
    { "lic_abort_btn", {} },
};

QStringList placeMarkers(const QString& text)
{
    QStringList markers;
    QRegularExpressionMatchIterator it = QRegularExpression("%\\d+").globalMatch(text);
    while (it.hasNext())
        markers << it.next().captured();
    markers.sort();
    return markers;
}

// The accelerator letter of a button text, or a null character when it has none or several.
QChar accelerator(const QString& text)
{
    QChar found;
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) == QLatin1Char('&')) {
            ++i;
            continue;
        }
        if (!found.isNull())
            return QChar();
        found = text.at(i + 1).toLower();
    }
    return found;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class tst_ShippedTables : public QObject {
    Q_OBJECT

private slots:
    void everyLanguageListed();
    void table_data();
    void table();
    void defaultLanguage();
};

void tst_ShippedTables::everyLanguageListed()
{
    QStringList expected;
    for (const QString& language : shippedLanguages)
        expected << "strings_" + language + ".launcher.xml";
    expected.sort();
    QCOMPARE(
        QDir(sourceDir + "/languages").entryList({ "*.xml" }, QDir::Files, QDir::Name), expected);
}

void tst_ShippedTables::table_data()
{
    QTest::addColumn<QString>("language");
    for (const QString& language : shippedLanguages)
        QTest::newRow(qPrintable(language)) << language;
}

void tst_ShippedTables::table()
{
    QFETCH(QString, language);

    const QString name = "/languages/strings_" + language + ".launcher.xml";
    QVERIFY2(contents(installedDir + name) == contents(sourceDir + name),
        "the installed table differs from the one in the source tree");

    QMap<QString, QString> table;
    launcher::loadStringTable(installedDir + "/languages", language, table);
    QMap<QString, QString> english;
    launcher::loadStringTable(installedDir + "/languages", "en_US", english);

    for (auto it = requested.cbegin(); it != requested.cend(); ++it) {
        const QString& id = it.key();
        const QString where = language + " " + id;
        QVERIFY2(table.contains(id), qPrintable(where + " is missing"));
        QVERIFY2(!table.value(id).trimmed().isEmpty(), qPrintable(where + " is empty"));
        QVERIFY2(placeMarkers(table.value(id)) == it.value(),
            qPrintable(where + " has the wrong place markers: " + table.value(id)));
    }
    QVERIFY2(language == "en_US"
            || table.value("lic_update_question") != english.value("lic_update_question"),
        "the update question is not translated");

    // The window shows both of its buttons at once, the update question Yes and No.
    const QList<QPair<QString, QString>> buttonPairs { { "lic_quit_btn", "lic_launch_btn" },
        { "lic_yes_btn", "lic_no_btn" } };
    for (const auto& pair : buttonPairs) {
        const QChar first = accelerator(table.value(pair.first));
        const QChar second = accelerator(table.value(pair.second));
        QVERIFY2(!first.isNull() && !second.isNull() && first != second,
            qPrintable(QString("%1: accelerators of \"%2\" and \"%3\" are missing or clash")
                           .arg(language, table.value(pair.first), table.value(pair.second))));
    }

    // The link text goes into an HTML anchor as it is.
    const QString link = table.value("lic_update_link");
    QVERIFY2(
        !link.contains('<') && !link.contains('&'), qPrintable("markup in the link text: " + link));
}

void tst_ShippedTables::defaultLanguage()
{
    const QString name = "/default_settings.ini";
    QVERIFY2(contents(installedDir + name) == contents(sourceDir + name),
        "the installed default-language file differs from the one in the source tree");
    QSettings defaults(installedDir + name, QSettings::IniFormat);
    QCOMPARE(defaults.value("language").toString(), QString("en_US"));
    QCOMPARE(defaults.status(), QSettings::NoError);
}

QTEST_GUILESS_MAIN(tst_ShippedTables)
#include "tst_shippedtables.moc"
