#include "app/singleinstanceguard.h"

#include <QTest>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using launcher::SingleInstanceGuard;

static void* closeLater(void* fd)
{
    usleep(50 * 1000);
    ::close(*static_cast<int*>(fd));
    return nullptr;
}

class tst_SingleInstanceGuard : public QObject {
    Q_OBJECT

private slots:
    void exclusion_data();
    void exclusion();
    void releasedWithTheObject();
    void nameIsShortAndPerUser();
    void transientShortageIsRetried();
};

void tst_SingleInstanceGuard::exclusion_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("secondProceeds");

    const QString base = QStringLiteral("/opt/product/launcher");
    QTest::newRow("same path") << base << base << false;
    QTest::newRow("other path") << base << "/opt/other/launcher" << true;
    QTest::newRow("paths differing in case") << base << "/opt/Product/launcher" << true;
    QTest::newRow("prefix of the other") << base << base + "2" << true;
    const QString longPath
        = "/" + QString(60, 'd') + "/" + QString(80, 'e') + "/" + QString(90, 'f') + "/launcher";
    QTest::newRow("long path, same") << longPath << longPath << false;
    QTest::newRow("long paths differing at the end") << longPath << longPath + "x" << true;
    const QString odd = QString::fromUtf8("/tmp/\xe6\x97\xa5 '&\"$(x)\n/launcher");
    QTest::newRow("odd characters, same") << odd << odd << false;
}

void tst_SingleInstanceGuard::exclusion()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, secondProceeds);

    SingleInstanceGuard a(first);
    QVERIFY2(a.acquire(), "a lone guard must be taken");
    QVERIFY2(a.acquire(), "taking a held guard again from its owner must succeed");
    SingleInstanceGuard b(second);
    QCOMPARE(b.acquire(), secondProceeds);
}

void tst_SingleInstanceGuard::releasedWithTheObject()
{
    const QString path = QStringLiteral("/opt/product/released");
    {
        SingleInstanceGuard a(path);
        QVERIFY(a.acquire());
        SingleInstanceGuard b(path);
        QVERIFY(!b.acquire());
    }
    SingleInstanceGuard c(path);
    QVERIFY2(c.acquire(), "the guard must be free once its holder is gone");
}

void tst_SingleInstanceGuard::nameIsShortAndPerUser()
{
    const QString path = "/" + QString(4000, 'p');
    const QByteArray name = SingleInstanceGuard::socketName(path, 1000);
    // The abstract socket name must fit sun_path (108 bytes, one taken by the leading NUL).
    QVERIFY2(name.size() < 107, name.constData());
    QCOMPARE(SingleInstanceGuard::socketName(path, 1000), name);
    QVERIFY(SingleInstanceGuard::socketName(path, 1001) != name);
    QVERIFY(SingleInstanceGuard::socketName(path + "q", 1000) != name);
}

void tst_SingleInstanceGuard::transientShortageIsRetried()
{
    // Use up every file descriptor, so that the first attempts fail with EMFILE, and free one a
    // little later: a lone launcher must still get its guard.
    rlimit original;
    QVERIFY(getrlimit(RLIMIT_NOFILE, &original) == 0);
    rlimit low = original;
    low.rlim_cur = 64;
    QVERIFY(setrlimit(RLIMIT_NOFILE, &low) == 0);
    std::vector<int> taken;
    for (;;) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            break;
        taken.push_back(fd);
    }
    QVERIFY(!taken.empty());
    // A plain thread: nothing in it may need a descriptor while they are all taken.
    pthread_t release;
    QVERIFY(pthread_create(&release, nullptr, closeLater, &taken.back()) == 0);

    SingleInstanceGuard guard(QStringLiteral("/opt/product/transient"));
    const bool acquired = guard.acquire();
    pthread_join(release, nullptr);
    taken.pop_back();
    for (int fd : taken)
        ::close(fd);
    setrlimit(RLIMIT_NOFILE, &original);
    QVERIFY2(acquired, "a shortage of descriptors that passes must not silence a lone launcher");
}

QTEST_APPLESS_MAIN(tst_SingleInstanceGuard)
#include "tst_singleinstanceguard.moc"
