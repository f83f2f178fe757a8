// The administrator's switch as the file /etc/xdg/Nimbrel/Update.conf holds it (the registry's
// twin is in the Windows scenario rows): which contents switch the check of "quill" off.
#include "update/updatepolicy.h"

#include <QTemporaryDir>
#include <QTest>

class tst_UpdatePolicy : public QObject {
    Q_OBJECT

private slots:
    void allowed_data();
    void allowed();
};

void tst_UpdatePolicy::allowed_data()
{
    QTest::addColumn<QByteArray>("contents"); // of the file; null: no file, "/": a directory
    QTest::addColumn<bool>("allowed");
    QTest::newRow("no file") << QByteArray() << true;
    QTest::newRow("a directory in its place") << QByteArray("/") << true;
    QTest::newRow("an empty file") << QByteArray("") << true;
    for (const char* off : { "false", "No", "OFF", "0" })
        QTest::newRow(qPrintable(QString("all: ") + off))
            << QByteArray("[all]\ncheck = ") + off + "\n" << false;
    for (const char* on : { "true", "YES", "On", "1" })
        QTest::newRow(qPrintable(QString("all: ") + on))
            << QByteArray("[all]\ncheck = ") + on + "\n" << true;
    QTest::newRow("the product off, all on")
        << QByteArray("[all]\ncheck=on\n[quill]\ncheck=off\n") << false;
    QTest::newRow("the product on, all off")
        << QByteArray("[all]\ncheck=off\n[quill]\ncheck=1\n") << true;
    QTest::newRow("another product off") << QByteArray("[ink]\ncheck=off\n") << true;
    QTest::newRow("neither word, over all off")
        << QByteArray("[all]\ncheck=off\n[quill]\ncheck=maybe\n") << true;
    QTest::newRow("a list") << QByteArray("[all]\ncheck=off, off\n") << true;
    QTest::newRow("a number that is not 0") << QByteArray("[all]\ncheck=00\n") << true;
    QTest::newRow("off outside any group") << QByteArray("check=off\n") << true;
}

void tst_UpdatePolicy::allowed()
{
    QFETCH(QByteArray, contents);
    QTemporaryDir dir;
    const QString path = dir.filePath("Update.conf");
    if (contents == "/")
        QVERIFY(QDir().mkdir(path));
    else if (!contents.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    }
    launcher::setUpdatePolicyLocation(path);
    QTEST(launcher::isUpdateCheckAllowed("quill"), "allowed");
}

QTEST_APPLESS_MAIN(tst_UpdatePolicy)
#include "tst_updatepolicy.moc"
