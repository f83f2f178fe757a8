#include "app/configpath.h"
#include "app/target.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using launcher::Target;

class tst_Target : public QObject {
    Q_OBJECT

private slots:
    void builtInSettings();
    void fromFile_data();
    void fromFile();
    void productNameEndsAtNul();
    void groupIsRestored();

private:
    QTemporaryDir dir;
};

void tst_Target::builtInSettings()
{
    QSettings settings(QStringLiteral(":/launcher/settings/settings.ini"), QSettings::IniFormat);
    QCOMPARE(settings.status(), QSettings::NoError);
    QCOMPARE(settings.childGroups(), QStringList({ "language", "target" }));

    const Target target(settings);
    QCOMPARE(target.name, QStringLiteral("qpr.exe"));
    QCOMPARE(target.productName, QStringLiteral("Pellam Author"));
    QCOMPARE(target.product, QStringLiteral("quill"));
    QCOMPARE(target.version, QStringLiteral("4.10"));
    QVERIFY(target.variant.isEmpty());
    QVERIFY(target.locale.isEmpty());
    QVERIFY(target.arguments.isEmpty());

    QCOMPARE(settings.value("language/default_ini").toString(),
        QStringLiteral("resources\\default_settings.ini"));
    QCOMPARE(
        settings.value("language/strings_dir").toString(), QStringLiteral("resources\\languages"));
}

void tst_Target::fromFile_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>(
        "expected"); // name, productName, product, version, variant, locale

    QTest::newRow("no target group")
        << QByteArray("[language]\nstrings_dir = x\n") << QStringList { "", "", "", "", "", "" };
    QTest::newRow("empty file") << QByteArray() << QStringList { "", "", "", "", "", "" };
    QTest::newRow("all keys") << QByteArray("[target]\r\nname = a/b.exe\r\nproduct_name = P\r\n"
                                            "product = p\r\nversion = 1.0\r\nvariant = pro\r\n"
                                            "locale = de_DE\r\n\r\n")
                              << QStringList { "a/b.exe", "P", "p", "1.0", "pro", "de_DE" };
    // The product name goes through UTF-8 bytes; text outside ASCII must come back unchanged.
    QTest::newRow("non-ASCII product name")
        << QByteArray(
               "[target]\nproduct_name = \"Pell\xc3\xa4m \xe6\x97\xa5\xe6\x9c\xac \xd0\x90\"\n")
        << QStringList { "", QString::fromUtf8("Pell\xc3\xa4m \xe6\x97\xa5\xe6\x9c\xac \xd0\x90"),
               "", "", "", "" };
    QTest::newRow("non-ASCII as Qt escapes")
        << QByteArray("[target]\nproduct_name = \"Pell\\xe4m \\x65e5\\x672c\"\n")
        << QStringList { "", QString::fromUtf8("Pell\xc3\xa4m \xe6\x97\xa5\xe6\x9c\xac"), "", "",
               "", "" };
    QTest::newRow("quoted values and escapes")
        << QByteArray("[target]\nname = \"bin\\\\qpr.exe\"\nversion = \"4.10 \"\n")
        << QStringList { "bin\\qpr.exe", "", "", "4.10 ", "", "" };
}

void tst_Target::fromFile()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, expected);

    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini);
    file.close();

    QSettings settings(path, QSettings::IniFormat);
    launcher::useUtf8(settings);
    const Target target(settings);
    QCOMPARE(QStringList({ target.name, target.productName, target.product, target.version,
                 target.variant, target.locale }),
        expected);
}

void tst_Target::productNameEndsAtNul()
{
    const QString path = dir.filePath("nul.ini");
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue("target/product_name", QString::fromUtf8("Pell\xc3\xa4m\0hidden", 13));
        settings.setValue("target/product", QString::fromUtf8("code\0kept", 9));
    }
    QSettings settings(path, QSettings::IniFormat);
    const Target target(settings);
    QCOMPARE(target.productName, QString::fromUtf8("Pell\xc3\xa4m"));
    // Only the product name is cut at a NUL; the other keys are taken as text.
    QCOMPARE(target.product, QString::fromUtf8("code\0kept", 9));
}

void tst_Target::groupIsRestored()
{
    QSettings settings(QStringLiteral(":/launcher/settings/settings.ini"), QSettings::IniFormat);
    settings.beginGroup("language");
    settings.endGroup();
    const Target target(settings);
    QVERIFY2(settings.group().isEmpty(), qPrintable("settings left in group " + settings.group()));
    QCOMPARE(settings.value("target/name").toString(), QStringLiteral("qpr.exe"));
}

QTEST_APPLESS_MAIN(tst_Target)
#include "tst_target.moc"
