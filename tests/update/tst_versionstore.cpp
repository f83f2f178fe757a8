// Which reported version is offered, across launchers: each run is a launcher of its own, so the
// second one reads the store from another configuration home, where the first one's file has been
// copied (within one process QSettings would answer from what it wrote, not from the file).
#include "update/versionstore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_VersionStore : public QObject {
    Q_OBJECT

private slots:
    void offer_data();
    void offer();
};

void tst_VersionStore::offer_data()
{
    // What is made of the store first (shell, in its directory), the version reported; whether
    // it is offered, and whether the next launcher offers it again; whether the store is left as
    // it was (not read, not written).
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<bool>("offeredAgain");
    QTest::addColumn<bool>("left");

    const auto stored = [](const char* version) {
        return QString("printf '[zz]\\nother\\\\version=1\\n[en_US]\\nquill\\\\version=%1\\n' > Update.conf")
            .arg(version);
    };
    QTest::newRow("none offered yet") << "" << "4.11" << true << false << false;
    QTest::newRow("offered before") << stored("4.11") << "4.11" << false << false << false;
    QTest::newRow("another offered before, the other entry kept")
        << stored("4.10") << "4.11" << true << false << false;
    QTest::newRow("letter case counts") << stored("4.11A") << "4.11a" << true << false << false;
    QTest::newRow("an empty version is offered every time") << "" << "" << true << true << false;
    for (const QString& version : { QString("\ufeff4.11"), QString("4.11 \U0001F600"),
             QString("@4.11"), QString("4.11\x01\t;\\,\"="), QString(70000, 'x') })
        QTest::newRow(qPrintable("read back exactly: " + version.left(12).toUtf8().toHex()))
            << "" << version << true << false << false;
    QTest::newRow("a FIFO") << "mkfifo Update.conf" << "4.11" << true << true << true;
    QTest::newRow("over 1 MiB") << "truncate -s 1048577 Update.conf" << "4.11" << true << true << true;
    QTest::newRow("a link to nothing") << "ln -s ../nowhere Update.conf" << "4.11" << true << true
                                       << true;
}

void tst_VersionStore::offer()
{
    QFETCH(QString, before);
    QFETCH(QString, version);
    QFETCH(bool, left);
    QTemporaryDir dir;
    const QString first = dir.filePath("first/Nimbrel"), store = first + "/Update.conf";
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(dir.filePath("second/Nimbrel")));
    QCOMPARE(QProcess::execute("/bin/sh", { "-c", "cd \"$0\" || exit 1; " + before, first }), 0);
    const QFileInfo kind(store);

    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("first")));
    QTEST(launcher::takeOffer("en_US/quill/version", version), "offered");
    QFile written(store);
    if (left) {
        QVERIFY2(kind.isSymLink() == QFileInfo(store).isSymLink()
                && kind.size() == QFileInfo(store).size() && !QFile::exists(dir.filePath("nowhere")),
            "the store was written");
    } else {
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY2(!before.contains("other") || written.readAll().contains("other\\version=1"),
            "another entry was lost");
        QVERIFY(QFile::copy(store, dir.filePath("second/Nimbrel/Update.conf")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("second")));
    }
    // Another launcher, from a fresh copy of the file (or the same store, left as it was).
    QTEST(launcher::takeOffer("en_US/quill/version", version), "offeredAgain");
}

QTEST_GUILESS_MAIN(tst_VersionStore)
#include "tst_versionstore.moc"
