// Which reported version is offered, across launchers: each run is a launcher of its own, so the
// second one reads the store from another configuration home, where the first one's file has been
// copied (within one process QSettings would answer from what it wrote, not from the file).
#include "update/versionstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class tst_VersionStore : public QObject {
    Q_OBJECT

private slots:
    void offer_data();
    void offer();
};

void tst_VersionStore::offer_data()
{
    // The store before (a file's contents, or "fifo", "large", "dangling link"), the version
    // reported; whether it is offered, and whether the next launcher offers it again.
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<bool>("offeredAgain");

    const QByteArray other = "[zz]\nother\\version=1\n";
    QTest::newRow("none offered yet") << QByteArray() << "4.11" << true << false;
    QTest::newRow("offered before") << QByteArray("[en_US]\nquill\\version=4.11\n") << "4.11"
                                    << false << false;
    QTest::newRow("another offered before, another entry kept")
        << QByteArray("[en_US]\nquill\\version=4.10\n" + other) << "4.11" << true << false;
    QTest::newRow("letter case counts") << QByteArray("[en_US]\nquill\\version=4.11A\n")
                                        << "4.11a" << true << false;
    QTest::newRow("an empty version is offered every time") << QByteArray() << "" << true << true;
    for (const QString& version : { QString("\ufeff4.11"), QString("4.11 \U0001F600"),
             QString("@4.11"), QString("4.11\x01\t;\\,\"="), QString(70000, 'x') })
        QTest::newRow(qPrintable("read back exactly: " + version.left(12).toUtf8().toHex()))
            << QByteArray() << version << true << false;
    QTest::newRow("a FIFO is never read or written") << QByteArray("fifo") << "4.11" << true
                                                     << true;
    QTest::newRow("a store over 1 MiB is not read or written")
        << QByteArray("large") << "4.11" << true << true;
    QTest::newRow("a link to nothing creates nothing")
        << QByteArray("dangling link") << "4.11" << true << true;
}

void tst_VersionStore::offer()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, version);
    QTemporaryDir dir;
    const QString first = dir.filePath("first/Nimbrel"), second = dir.filePath("second/Nimbrel");
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
    const QString store = first + "/Update.conf";
    if (before == "fifo") {
        QVERIFY(::mkfifo(QFile::encodeName(store), 0600) == 0);
    } else if (before == "large") {
        QFile file(store);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(1024 * 1024 + 1));
    } else if (before == "dangling link") {
        QVERIFY(QFile::link(dir.filePath("nowhere"), store));
    } else if (!before.isEmpty()) {
        QFile file(store);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    }
    const bool special = before == "fifo" || before == "large" || before == "dangling link";
    const QFileInfo kind(store);

    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("first")));
    QTEST(launcher::takeOffer("en_US/quill/version", version), "offered");
    if (special) {
        // Left as it was, and asked about again by the next launcher, which finds it so too.
        const QFileInfo after(store);
        QVERIFY2(after.isSymLink() == kind.isSymLink() && after.size() == kind.size()
                && !QFile::exists(dir.filePath("nowhere")),
            "the store was written");
        QTEST(launcher::takeOffer("en_US/quill/version", version), "offeredAgain");
        return;
    }
    QFile written(store);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY2(!before.contains("other") || written.readAll().contains("other\\version=1"),
        "another entry was lost");
    QVERIFY(QFile::copy(store, second + "/Update.conf"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("second")));
    QTEST(launcher::takeOffer("en_US/quill/version", version), "offeredAgain");
}

QTEST_GUILESS_MAIN(tst_VersionStore)
#include "tst_versionstore.moc"
