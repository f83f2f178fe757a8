// A release tree written by launcher-update-tree, served by a real nginx on 127.0.0.1 through the
// location block that vendors are given, and the real launcher asking it twice.
#include "support/productdir.h"

#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class tst_NginxUpdates : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void release_data();
    void release();

private:
    QTemporaryDir dir;
    ProductDir::Process nginx;
    quint16 port = 0;
};

void tst_NginxUpdates::initTestCase()
{
    const QString program = QStandardPaths::findExecutable("nginx", { "/usr/sbin" });
    if (program.isEmpty())
        QSKIP("nginx is not installed (./test.sh installs it)");
    const auto tool = [&](const QString& locales, const QString& url) {
        return QProcess::execute(TREE_TOOL,
            { "--product", "quill", "--newest", "4.11", "--field-versions", "4.9,4.10", "--locales",
                locales, "--url", url, "--output", dir.filePath("tree") });
    };
    QCOMPARE(tool("en_US,..", "https://www.example.com/%1/download"), 1); // a locale that climbs
    QCOMPARE(tool("en_US", "file:///etc/passwd"), 1);
    QVERIFY2(!QFile::exists(dir.filePath("tree")), "a refused release was written");
    QCOMPARE(tool("en_US,de_DE", "https://www.example.com/%1/download"), 0);
    QTcpServer probe;
    port = probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
    probe.close();
    QFile config(dir.filePath("nginx.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QString("daemon off; master_process off; pid %1/pid; error_log %1/log;\n"
                         "events {} http { access_log off; client_body_temp_path %1;\n"
                         "server { listen 127.0.0.1:%2; root %1/tree; include %3; } }\n")
                     .arg(dir.path())
                     .arg(port)
                     .arg(PROJECT_SOURCE_DIR "/packaging/nginx-updates.conf")
                     .toUtf8());
    config.close();
    nginx.reset(new QProcess);
    nginx->start(program, { "-e", dir.filePath("log"), "-p", dir.path(), "-c", config.fileName() });
    QVERIFY2(QTest::qWaitFor(
                 [this] {
                     QTcpSocket socket;
                     socket.connectToHost(QHostAddress::LocalHost, port);
                     return socket.waitForConnected(100);
                 },
                 10000),
        "nginx did not come up");
}

void tst_NginxUpdates::release_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("record"); // of both starts together
    const QByteArray asked = "question\tP\tlic_update_question\nopen\thttps://www.example.com/";
    QTest::newRow("a version in the field")
        << QByteArray("en_US") << QByteArray("4.10") << asked + "en_US/download?platform=windows\n";
    QTest::newRow("the newest") << QByteArray("en_US") << QByteArray("4.11") << QByteArray();
    QTest::newRow("a version the tree does not name") << QByteArray(
        "de_DE") << QByteArray("4.0-beta") << asked + "de_DE/download?platform=windows\n";
}

void tst_NginxUpdates::release()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, version);
    ProductDir product;
    QVERIFY(product.addLauncher("[target]\r\nproduct_name = P\r\nproduct = quill\r\nversion = "
                + version + "\r\nlocale = " + locale + "\r\nname = qpr.exe\r\n")
        && product.addProduct());
    product.env.insert("LAUNCHER_TEST_UPDATE_URL", QString("http://127.0.0.1:%1/sw").arg(port));
    product.env.insert("LAUNCHER_TEST_ANSWER", "yes");
    product.env.insert("LAUNCHER_TEST_RECORD", product.path("~/record"));
    for (int start = 1; start <= 2; ++start) {
        ProductDir::Process launcher = product.start({});
        QVERIFY(ProductDir::ended(*launcher, 10000) && launcher->exitCode() == 1);
        QCOMPARE(launcher->readAll() + QByteArray::number(product.starts(start).size()),
            QByteArray::number(start));
    }
    QFile record(product.path("~/record"));
    QTEST(record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray(), "record");
}

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    tst_NginxUpdates test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_nginxupdates.moc"
