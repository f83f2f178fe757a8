// What the translator answers for a request: identifiers, the standard buttons, the chosen
// language's table before the one of en_US. Which language is chosen shows in the process tests.
#include "i18n/launchertranslator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

class tst_Translator : public QObject {
    Q_OBJECT

private slots:
    void translate_data();
    void translate();
};

void tst_Translator::translate_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("text"); // null: no answer, the framework shows the source text

    QTest::newRow("chosen language first")
        << QByteArray("QObject") << QByteArray("lic_both") << "xx both";
    QTest::newRow("same text in any context")
        << QByteArray() << QByteArray("lic_both") << "xx both";
    QTest::newRow("empty text is an answer") << QByteArray("x") << QByteArray("lic_empty") << "";
    QTest::newRow("en_US as fallback")
        << QByteArray("x") << QByteArray("lic_fallback") << "en fallback";
    QTest::newRow("in neither table") << QByteArray("x") << QByteArray("lic_none") << QString();
    QTest::newRow("standard button, any context")
        << QByteArray("QPlatformTheme") << QByteArray("&Yes") << "xx yes";
    QTest::newRow("standard button, none in the tables")
        << QByteArray("x") << QByteArray("Abort") << QString();
    QTest::newRow("other text under itself")
        << QByteArray("x") << QByteArray("Placeholder") << "xx placeholder";
}

void tst_Translator::translate()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, source);
    QFETCH(QString, text);
    const auto table = [](const char* language, const QByteArray& entries) {
        const QString dir = QCoreApplication::applicationDirPath() + "/resources/languages/";
        QFile file(dir + "strings_" + language + ".launcher.xml");
        return QDir().mkpath(dir) && file.open(QIODevice::WriteOnly)
            && file.write("<lum_objects>" + entries + "</lum_objects>") > 0;
    };
    QVERIFY(table("en_US",
        "<string><id>lic_both</id><value>en both</value></string>"
        "<string><id>lic_fallback</id><value>en fallback</value></string>"
        "<string><id>lic_empty</id><value>en empty</value></string>"));
    QVERIFY(table("xx",
        "<string><id>lic_both</id><value>xx both</value></string>"
        "<string><id>lic_empty</id><value/></string>"
        "<string><id>lic_yes_btn</id><value>xx yes</value></string>"
        "<string><id>Placeholder</id><value>xx placeholder</value></string>"));
    const launcher::LauncherTranslator translator(nullptr, "xx");
    const QString answer
        = translator.translate(context.isEmpty() ? nullptr : context.constData(), source);
    QCOMPARE(answer.isNull(), text.isNull());
    QCOMPARE(answer, text);
}

QTEST_GUILESS_MAIN(tst_Translator)
#include "tst_translator.moc"
