// The user's store of offered versions under real launchers: several launchers installed at
// different paths, all offering an update at the same moment, lose no entry and leave a file that
// reads back cleanly; a store that cannot be written (no directory, a file in the way, no space)
// costs nothing but the memory of the offer: the product is started, the launcher prints nothing,
// and no entry the store held before is lost.
#include "fakeserver.h"
#include "support/productdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMap>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <unistd.h>

class tst_UpdateStore : public QObject {
    Q_OBJECT

private slots:
    void concurrentOffers();
    void unwritableStore_data();
    void unwritableStore();
};

namespace {

const QByteArray newer = "new_version=4.11\r\nurl=http://dl.example/quill\r\n";

// Replaces the one occurrence of `from` by `to`, which has the same length.
bool replaceOnce(QByteArray& data, const QByteArray& from, const QByteArray& to)
{
    const int at = data.indexOf(from);
    if (at < 0 || from.size() != to.size() || data.indexOf(from, at + 1) >= 0)
        return false;
    data.replace(at, from.size(), to);
    return true;
}

// A product directory with a copy of the test launcher whose built-in settings name `locale` and
// `productCode` (five characters each) instead of en_US and quill, so that its store entry differs
// from every other copy's. The settings are compiled in uncompressed, so the copy's two lines can
// be replaced by others of the same length.
bool prepare(ProductDir& product, const QString& baseUrl, const QByteArray& locale = "en_US",
    const QByteArray& productCode = "quill")
{
    if (!product.isValid() || !product.addLauncher("launcher", UPDATE_LAUNCHER)
        || !product.addRecorder())
        return false;
    QFile file(product.launcherPath());
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray binary = file.readAll();
    if (!replaceOnce(binary, "locale = en_US", "locale = " + locale)
        || !replaceOnce(binary, "product = quill", "product = " + productCode) || !file.seek(0)
        || file.write(binary) != binary.size())
        return false;
    file.close();
    product.setEnvironmentValue("LAUNCHER_TEST_UPDATE_URL", baseUrl);
    product.setEnvironmentValue("LAUNCHER_TEST_ANSWER", "no");
    product.setEnvironmentValue("LAUNCHER_TEST_RECORD", product.filePath("record.txt"));
    return true;
}

int questionCount(const ProductDir& product)
{
    QFile file(product.filePath("record.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().count("question\t");
}

QByteArray fileContents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Mounts a small file system of its own at `path` and unmounts it when it goes. Needs root.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const QString& path)
        : path(path)
    {
        mounted = QDir().mkpath(path)
            && QProcess::execute("mount", { "-t", "tmpfs", "-o", "size=32k", "tmpfs", path }) == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted)
            QProcess::execute("umount", { "-l", path });
    }
    bool isMounted() const { return mounted; }

    // Writes a file that takes all the space that is left, then gives back `spare` bytes of it.
    bool fill(qint64 spare) const
    {
        QFile filler(path + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) { }
        return filler.size() >= spare && filler.resize(filler.size() - spare);
    }

private:
    QString path;
    bool mounted = false;
};

} // namespace

// Eight launchers at eight paths, each with its own locale and product, all offering at once, in
// several rounds with a new version each: every round leaves every entry at that round's version,
// the entry of a product no launcher here knows untouched, and no lock or temporary file behind.
// QSettings rewrites the native store under a lock file ("<store>.lock"), merging its changes into
// what is on disk by then. In every other round the test holds that lock while the launchers come
// in, as a launcher in the middle of its write would: none of them may write, or get as far as the
// question, until it is released.
void tst_UpdateStore::concurrentOffers()
{
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    const QString storeDir = configHome.filePath("Nimbrel");
    const QString storeFile = storeDir + "/Update.conf";
    {
        QSettings store(storeFile, QSettings::IniFormat);
        store.setValue("zz_ZZ/other/version", "1.0");
    }

    const int launchers = 8;
    const int rounds = 4;
    std::vector<std::unique_ptr<ProductDir>> products;
    QStringList keys { "zz_ZZ/other/version" };
    for (const char* locale : { "en_US", "de_DE", "fr_FR", "ja_JP" }) {
        for (const char* code : { "quill", "plume" }) {
            products.push_back(std::make_unique<ProductDir>());
            ProductDir& product = *products.back();
            QVERIFY(prepare(product, QString(), locale, code));
            product.setEnvironmentValue("XDG_CONFIG_HOME", configHome.path());
            keys << QStringLiteral("%1/%2/version").arg(locale, code);
        }
    }
    keys.sort();

    for (int round = 1; round <= rounds; ++round) {
        const QByteArray version = "5." + QByteArray::number(round);
        // Holds every answer until all eight have asked, so that the launchers store together.
        FakeServer server(FakeServer::Answer,
            FakeServer::httpResponse(
                200, "OK", "new_version=" + version + "\nurl=http://dl.example/\n"),
            0, launchers);
        QVERIFY(server.isListening());
        const bool holdLock = round % 2 == 0;
        QLockFile storeLock(storeFile + ".lock");
        QVERIFY(!holdLock || storeLock.tryLock(0));
        const QByteArray held = fileContents(storeFile);

        QElapsedTimer clock;
        clock.start();
        std::vector<ProductDir::Process> running;
        for (auto& product : products) {
            product->setEnvironmentValue("LAUNCHER_TEST_UPDATE_URL", server.baseUrl());
            running.push_back(product->startLauncher({}));
        }
        if (holdLock) {
            // Every launcher has its answer, and a moment to reach the store.
            QTRY_COMPARE_WITH_TIMEOUT(server.requestTargets().size(), launchers, 10000);
            QTest::qWait(500);
            QVERIFY2(fileContents(storeFile) == held, "the store was written under its lock");
            for (const auto& product : products)
                QVERIFY2(questionCount(*product) == round - 1, "asked before the version was kept");
            storeLock.unlock();
        }
        for (int i = 0; i < launchers; ++i) {
            const QString who = QStringLiteral("round %1, launcher %2").arg(round).arg(i);
            QVERIFY2(ProductDir::hasEnded(*running[i], 15000), qPrintable(who + " did not end"));
            QVERIFY2(
                running[i]->exitStatus() == QProcess::NormalExit && running[i]->exitCode() == 1,
                qPrintable(who + QStringLiteral(" ended with %1").arg(running[i]->exitCode())));
            QCOMPARE(running[i]->readAll(), QByteArray());
            QVERIFY2(questionCount(*products[i]) == round, qPrintable(who + " was not asked"));
        }
        QCOMPARE(server.requestTargets().size(), launchers);
        qInfo("round %d: all launchers ended after %lld ms", round, clock.elapsed());

        QSettings store(storeFile, QSettings::IniFormat);
        QCOMPARE(store.status(), QSettings::NoError);
        QStringList stored = store.allKeys();
        stored.sort();
        QCOMPARE(stored, keys);
        for (const QString& key : qAsConst(keys)) {
            const QString expected = key.startsWith("zz_ZZ") ? "1.0" : QString::fromLatin1(version);
            QVERIFY2(store.value(key).toString() == expected,
                qPrintable(QStringLiteral("round %1: %2 holds \"%3\"")
                               .arg(round)
                               .arg(key, store.value(key).toString())));
        }
        QCOMPARE(QDir(storeDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { "Update.conf" });
    }
}

void tst_UpdateStore::unwritableStore_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<int>("pagesLeft"); // on a small file system of its own; -1: none

    QTest::newRow("configuration home below a regular file") << "below a file" << -1;
    QTest::newRow("a file where the organisation's directory goes") << "organisation file" << -1;
    QTest::newRow("a directory where the store goes") << "store directory" << -1;
    QTest::newRow("read-only store") << "read-only" << -1;
    // Writes stop part of the way, as on a full disk.
    QTest::newRow("file-size limit below the store's size") << "file-size limit" << -1;
    // From no room at all to room for everything: in between, there is room for QSettings' lock
    // file but not for the whole store, and Qt 5.15 would put a short or empty file in its place.
    for (int pages = 0; pages <= 5; ++pages)
        QTest::newRow(qPrintable(QStringLiteral("file system with %1 pages left").arg(pages)))
            << "small file system" << pages;
}

// Two starts in a row: each starts the product and prints nothing. Whatever the store held before
// is still there after each start, and the offered version is either kept (then the second start
// does not ask again) or not (then it does).
void tst_UpdateStore::unwritableStore()
{
    QFETCH(QString, obstacle);
    QFETCH(int, pagesLeft);

    FakeServer server(FakeServer::Answer, FakeServer::httpResponse(200, "OK", newer));
    QVERIFY(server.isListening());
    ProductDir product;
    QVERIFY(prepare(product, server.baseUrl()));
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    QString configHome = scratch.filePath("config");
    const QString storeFile = configHome + "/Nimbrel/Update.conf";
    // Entries of other products, two pages' worth.
    QByteArray before = "[de_DE]\n";
    QMap<QString, QString> entries;
    for (int i = 0; before.size() < 6000; ++i) {
        const QByteArray name = "product" + QByteArray::number(i);
        before += name + "\\version=4." + QByteArray::number(i) + '\n';
        entries.insert("de_DE/" + name + "/version", "4." + QString::number(i));
    }
    QString launcher = product.launcherPath();
    QStringList arguments;
    std::unique_ptr<SmallFileSystem> fileSystem;

    if (obstacle == "below a file") {
        QVERIFY(QFile(scratch.filePath("file")).open(QIODevice::WriteOnly));
        configHome = scratch.filePath("file/config");
    } else if (obstacle == "organisation file") {
        QVERIFY(QDir().mkpath(configHome));
        QVERIFY(QFile(configHome + "/Nimbrel").open(QIODevice::WriteOnly));
    } else if (obstacle == "store directory") {
        QVERIFY(QDir().mkpath(storeFile));
    } else if (obstacle == "read-only") {
        if (geteuid() == 0)
            QSKIP("permissions do not hold for root");
        QVERIFY(product.writeFile(storeFile, before));
        QVERIFY(QFile::setPermissions(storeFile, QFile::ReadOwner));
        QVERIFY(
            QFile::setPermissions(QFileInfo(storeFile).path(), QFile::ReadOwner | QFile::ExeOwner));
    } else if (obstacle == "file-size limit") {
        QVERIFY(product.writeFile(storeFile, before));
        // Writes stop after 256 bytes; the product's record of its arguments is shorter.
        arguments << "--file-size"
                  << "256" << launcher;
        launcher = MEASURED_RUN;
    } else if (obstacle == "small file system") {
        fileSystem = std::make_unique<SmallFileSystem>(configHome);
        if (!fileSystem->isMounted())
            QSKIP("no small file system can be mounted here (needs root)");
        QVERIFY(product.writeFile(storeFile, before));
        QVERIFY(fileSystem->fill(pagesLeft * 4096));
    }
    product.setEnvironmentValue("XDG_CONFIG_HOME", configHome);
    const bool hadStore = QFileInfo(storeFile).isFile();
    if (!hadStore)
        entries.clear();

    bool kept = false;
    for (int start = 1; start <= 2; ++start) {
        const QString when = QStringLiteral("after start %1: ").arg(start);
        const ProductDir::Result result = product.runLauncher(arguments, 15000, launcher);
        QVERIFY2(result.problem(1).isEmpty(), qPrintable(when + result.problem(1)));
        QCOMPARE(product.recordedRuns(start).size(), start);
        QCOMPARE(server.requestTargets().size(), start);
        QCOMPARE(questionCount(product), kept ? 1 : start);

        if (QFileInfo(storeFile).isFile() || hadStore) {
            QSettings store(storeFile, QSettings::IniFormat);
            QVERIFY2(store.status() == QSettings::NoError, qPrintable(when + "unreadable store"));
            for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
                QVERIFY2(store.value(entry.key()).toString() == entry.value(),
                    qPrintable(when + entry.key() + " was lost; the store holds "
                        + QString::fromUtf8(fileContents(storeFile).left(200))));
            }
            const QString offered = store.value("en_US/quill/version").toString();
            QVERIFY2(offered.isEmpty() || offered == "4.11", qPrintable(when + offered));
            kept = !offered.isEmpty();
        }
    }
    if (obstacle == "read-only")
        QFile::setPermissions(
            QFileInfo(storeFile).path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qInfo("the offered version was %s", kept ? "kept" : "not kept");
}

QTEST_GUILESS_MAIN(tst_UpdateStore)
#include "tst_updatestore.moc"
