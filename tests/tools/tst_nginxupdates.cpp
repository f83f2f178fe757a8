// A generated update tree served by a real nginx on 127.0.0.1, through the location block that
// vendors are given, and the launcher's own update step against it.
#include "app/target.h"
#include "support/browser.h"
#include "support/ownsettings.h"
#include "support/productdir.h"
#include "update/checkupdate.h"
#include "update/updateinfo.h"
#include "update/updateoffer.h"
#include "updatetreewriter.h"

#include <QApplication>
#include <QDesktopServices>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class tst_NginxUpdates : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void offerOncePerVersion();
    void launcherProcess();

private:
    // Runs the update step as the launch sequence does, for the given installed version/locale.
    launcher::UpdateInfo offer(const QString& locale, const QString& version);

    QTemporaryDir dir;
    ProductDir::Process nginx;
    quint16 port = 0;
    QStringList questions;
    Browser browser;
};

static quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

void tst_NginxUpdates::initTestCase()
{
    const QString program = QStandardPaths::findExecutable("nginx", { "/usr/sbin", "/usr/bin" });
    if (program.isEmpty())
        QSKIP("nginx is not installed (./test.sh installs it)");
    QVERIFY(dir.isValid());

    UpdateTreeWriter::Release release;
    release.product = "quill";
    release.locales = QStringList { "en_US", "de_DE" };
    release.platform = launcher::platformName;
    release.fieldVersions = QStringList { "4.9", "4.10" };
    release.newestVersion = "4.11";
    release.downloadUrl = "https://www.example.com/%1/download";
    QString error;
    QVERIFY2(!UpdateTreeWriter::write(dir.filePath("tree"), release, &error).isEmpty(),
        qPrintable(error));

    port = freePort();
    QVERIFY(port != 0);
    QDir().mkpath(dir.filePath("temp"));
    const QString config = QString(R"(daemon off;
master_process off;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 64; }
http {
    access_log %1/access.log;
    client_body_temp_path %1/temp/body;
    proxy_temp_path %1/temp/proxy;
    fastcgi_temp_path %1/temp/fastcgi;
    uwsgi_temp_path %1/temp/uwsgi;
    scgi_temp_path %1/temp/scgi;
    server {
        listen 127.0.0.1:%2;
        root %1/tree;
        include %3;
    }
}
)")
                               .arg(dir.path())
                               .arg(port)
                               .arg(PROJECT_SOURCE_DIR "/packaging/nginx-updates.conf");
    QFile file(dir.filePath("nginx.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(config.toUtf8());
    file.close();

    nginx.reset(new QProcess);
    nginx->setProcessChannelMode(QProcess::MergedChannels);
    nginx->start(
        program, { "-e", dir.filePath("error.log"), "-p", dir.path(), "-c", file.fileName() });
    QVERIFY(nginx->waitForStarted());
    const bool up = QTest::qWaitFor(
        [this] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            return socket.waitForConnected(100);
        },
        10000);
    QVERIFY2(up, qPrintable("nginx did not come up: " + QString::fromLocal8Bit(nginx->readAll())));

    launcher::setUpdateBaseUrl(QString("http://127.0.0.1:%1/sw").arg(port));
    launcher::setQuestionHandler([this](const QString& title, const QString& text) {
        questions << title + " | " + text;
        return QMessageBox::Yes;
    });
    QDesktopServices::setUrlHandler("https", &browser, "open");
}

void tst_NginxUpdates::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("https");
    launcher::setQuestionHandler({});
    launcher::setUpdateBaseUrl(QString());
    nginx.reset(); // killed and reaped: nothing is left running
}

launcher::UpdateInfo tst_NginxUpdates::offer(const QString& locale, const QString& version)
{
    QSettings settings(dir.filePath("settings-" + locale + version + ".ini"), QSettings::IniFormat);
    settings.setValue("target/product_name", "Pellam Author");
    settings.setValue("target/product", "quill");
    settings.setValue("target/locale", locale);
    settings.setValue("target/version", version);
    settings.setValue("target/name", "qpr.exe");
    const launcher::Target target(settings);
    launcher::CheckUpdate checkUpdate;
    launcher::UpdateInfo updateInfo;
    launcher::offerNewerVersion(checkUpdate, target, updateInfo);
    return updateInfo;
}

void tst_NginxUpdates::offerOncePerVersion()
{
    questions.clear();
    browser.opened.clear();

    // A version in the field hears of the newest, once; the page opens with "platform".
    launcher::UpdateInfo info = offer("en_US", "4.10");
    QCOMPARE(info.newVersion, QStringLiteral("4.11"));
    QCOMPARE(
        info.updateUrl, QStringLiteral("https://www.example.com/en_US/download?platform=windows"));
    QCOMPARE(questions, QStringList { "Pellam Author | lic_update_question" });
    QCOMPARE(browser.opened, QStringList { info.updateUrl });
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Nimbrel", "Update");
        QCOMPARE(store.value("en_US/quill/version").toString(), QStringLiteral("4.11"));
    }

    // Next start: the same version is not asked about again, but the window still gets the link.
    info = offer("en_US", "4.10");
    QCOMPARE(info.newVersion, QStringLiteral("4.11"));
    QCOMPARE(questions.size(), 1);

    // The newest version installed: told it is current.
    info = offer("en_US", "4.11");
    QVERIFY(info.newVersion.isEmpty() && info.updateUrl.isEmpty());
    QCOMPARE(questions.size(), 1);

    // A version without a file of its own gets latest.txt; another locale has its own entry.
    info = offer("de_DE", "4.0-beta");
    QCOMPARE(
        info.updateUrl, QStringLiteral("https://www.example.com/de_DE/download?platform=windows"));
    QCOMPARE(questions.size(), 2);

    QFile log(dir.filePath("access.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray requests = log.readAll();
    QVERIFY2(requests.contains("GET /sw/en_US/quill/windows/info_4.10.php HTTP/1.1\" 200"),
        requests.constData());
    QVERIFY2(requests.contains("GET /sw/de_DE/quill/windows/info_4.0-beta.php HTTP/1.1\" 200"),
        requests.constData());
}

void tst_NginxUpdates::launcherProcess()
{
    // The real launcher (with the tests' hooks for server address, answer and browser).
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher("launcher", UPDATE_LAUNCHER));
    QVERIFY(product.addRecorder());
    const QString record = product.filePath("record.txt");
    product.setEnvironmentValue(
        "LAUNCHER_TEST_UPDATE_URL", QString("http://127.0.0.1:%1/sw").arg(port));
    product.setEnvironmentValue("LAUNCHER_TEST_ANSWER", "yes");
    product.setEnvironmentValue("LAUNCHER_TEST_RECORD", record);

    for (int start = 0; start < 2; ++start) {
        const ProductDir::Result result = product.runLauncher({ "doc.qpr" });
        QVERIFY2(result.problem(1).isEmpty(), qPrintable(result.problem(1)));
        QCOMPARE(product.recordedRuns(start + 1).size(), start + 1);
    }
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Asked once across both starts, and the page opened with the platform item.
    QCOMPARE(lines.count(lines.first()), 1);
    QVERIFY2(lines.first().startsWith("question\tPellam Author\t"), lines.first().constData());
    QCOMPARE(lines.value(1),
        QByteArray("open\thttps://www.example.com/en_US/download?platform=windows"));
}

int main(int argc, char* argv[]) { return execWithOwnSettings<tst_NginxUpdates>(argc, argv); }

#include "tst_nginxupdates.moc"
