// The real launcher as a user starts it, one scenario of scenarios.txt a row: its arguments, the
// download server's behaviour, the files of the product tree and of the user's store, what else
// holds the single-instance guard; then its exit code, the exact bytes the product received, its
// output, how long it took and what the store holds. Whatever only shows across processes (the
// guard, the one-second bound, detached starts, hostile servers, odd files and bytes) is a row.
#include "support/productdir.h"
#include "support/testserver.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>

#include <csignal>
#include <unistd.h>

using Bytes = QList<QByteArray>;

namespace {

struct Scenario {
    QList<QPair<QByteArray, QByteArray>> lines;
    Bytes all(const QByteArray& key) const
    {
        Bytes values;
        for (const auto& line : lines)
            if (line.first == key)
                values << line.second;
        return values;
    }
    QByteArray value(const QByteArray& key, const QByteArray& fallback = QByteArray()) const
    {
        return all(key).value(0, fallback);
    }
    Bytes list(const QByteArray& key) const
    {
        return value(key).isEmpty() ? Bytes() : value(key).split('|');
    }
};

QByteArray unescaped(const QByteArray& text)
{
    QByteArray bytes;
    for (int i = 0; i < text.size(); ++i) {
        const int escape = text.at(i) == '\\' && i + 1 < text.size()
            ? QByteArray("tnr0\\x").indexOf(text.at(i + 1))
            : -1;
        if (escape < 0)
            bytes += text.at(i);
        else if (escape < 5)
            bytes += "\t\n\r\0\\"[escape], ++i;
        else
            bytes += char(text.mid(i + 2, 2).toInt(nullptr, 16)), i += 3;
    }
    return bytes;
}

// The built-in settings: the test launcher's own, changed as `target` says.
QByteArray settings(const Scenario& scenario)
{
    QList<QPair<QByteArray, QByteArray>> keys { { "product_name", "Pellam Author" },
        { "product", "quill" }, { "version", "4.10" }, { "locale", "en_US" },
        { "name", "qpr.exe" } };
    for (const QByteArray& change : scenario.list("target")) {
        const QByteArray key = change.split('=').value(0).trimmed(),
                         value = change.mid(change.indexOf('=') + 1).trimmed();
        auto it
            = std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.first == key; });
        *(it == keys.end() ? keys.insert(keys.end(), { key, value }) : it) = { key, value };
    }
    QByteArray text = "[target]\r\n";
    for (const auto& key : keys)
        text += key.second.isEmpty() ? QByteArray() : key.first + " = " + key.second + "\r\n";
    return text
        + "\r\n[language]\r\ndefault_ini = resources\\\\default_settings.ini\r\nstrings_dir = "
          "resources\\\\languages\r\n";
}

// What a row may need root for, each with a command that tries it in a throw-away directory:
// uid 0 is not enough where a chroot or a container refuses part of it even to root.
const QMap<QByteArray, QByteArray> rootProbes { { "mount namespace",
                                                  "unshare -m mount -t tmpfs tmpfs ." },
    { "network namespace", "unshare -n true" }, { "device node", "mknod node c 1 3" },
    { "another user", "setpriv --reuid=65534 --regid=65534 --clear-groups true" },
    { "port 53",
        "python3 -c 'import socket; socket.socket(socket.AF_INET, socket.SOCK_DGRAM)"
        ".bind((\"127.0.0.1\", 53))'" } };

// Why the row cannot run here, or nothing when all it needs is allowed.
QByteArray missingRootNeed(const Bytes& needs)
{
    if (!needs.isEmpty() && ::getuid() != 0)
        return "not root";
    for (const QByteArray& need : needs) {
        QTemporaryDir dir;
        QProcess probe;
        probe.setWorkingDirectory(dir.path());
        probe.setProcessChannelMode(QProcess::MergedChannels);
        probe.start("/bin/sh", { "-c", QString::fromLatin1(rootProbes.value(need)) });
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit
            || probe.exitCode() != 0)
            return "no " + need + ": `" + rootProbes.value(need) + "` says "
                + probe.readAll().trimmed();
    }
    return QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Scenario)

class tst_LauncherProcess : public QObject {
    Q_OBJECT

private slots:
    void scenario_data();
    void scenario();
};

void tst_LauncherProcess::scenario_data()
{
    QTest::addColumn<Scenario>("scenario");
    QFile file(SCENARIOS);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray name;
    Scenario scenario;
    for (const QByteArray& line : file.readAll().split('\n') + Bytes { "[]" }) {
        if (line.startsWith('[') && !name.isEmpty())
            QTest::newRow(name.constData()) << scenario;
        if (line.startsWith('['))
            name = line.mid(1, line.size() - 2), scenario = Scenario();
        else if (!line.startsWith('#') && line.contains(": "))
            scenario.lines << qMakePair(line.left(line.indexOf(": ")),
                unescaped(line.mid(line.indexOf(": ") + 2)).replace(" | ", "|"));
    }
}

void tst_LauncherProcess::scenario()
{
    QFETCH(Scenario, scenario);
    const Bytes rootNeeds = scenario.list("needs root");
    for (const QByteArray& need : rootNeeds)
        QVERIFY2(rootProbes.contains(need), "needs root for what? " + need);
    if (const QByteArray missing = missingRootNeed(rootNeeds); !missing.isEmpty())
        QSKIP(("needs root: " + missing).constData());
    if (!scenario.value("needs").isEmpty() && !QFile::exists(scenario.value("needs")))
        QSKIP("a program is missing (./test.sh installs it)");
    ProductDir product(scenario.value("subdir"));
    QVERIFY(product.isValid() && product.addLauncher(settings(scenario))
        && product.write("~/config/Nimbrel/.keep", ""));
    QVERIFY(scenario.value("product") == "none"
        || product.addProduct(scenario.value("product", "qpr.exe")));
    const quint16 free = TestServer::closedPort();
    product.env.insert("LAUNCHER_TEST_ANSWER", scenario.value("answer", "no"));
    product.env.insert("LAUNCHER_TEST_RECORD", QString::fromLatin1(product.path("~/record")));
    product.env.insert("L", QString::fromLatin1(product.path("launcher")));
    product.env.insert("H",
        QCryptographicHash::hash(product.path("launcher"), QCryptographicHash::Sha256).toHex());
    product.env.insert("P", QString::number(free));
    product.env.insert("T", TREE_TOOL);
    product.env.insert("S", PROJECT_SOURCE_DIR);
    const auto shell = [&](const QByteArray& command) {
        return product.start({ "-c", command }, "/bin/sh", product.path());
    };
    for (const QByteArray& command : scenario.all("setup")) {
        ProductDir::Process setup = shell(command);
        QVERIFY2(ProductDir::ended(*setup, 10000) && setup->exitCode() == 0,
            command + ": " + setup->readAll());
    }
    const QByteArray kind = scenario.value("server", "answer");
    QByteArray body = scenario.value("reply", "new_version=4.11\r\nurl=http://dl.example/q");
    if (!scenario.value("reply file").isEmpty()) {
        QFile file(QString::fromLatin1(product.path(scenario.value("reply file"))));
        QVERIFY2(file.open(QIODevice::ReadOnly), "no reply file");
        body = file.readAll();
    }
    QByteArray response = scenario.value("response", TestServer::http(200, body));
    if (!scenario.value("http").isEmpty())
        response = TestServer::http(
            scenario.value("http").left(3).toInt(), scenario.value("http").mid(4));
    TestServer server(kind == "silent" ? TestServer::Silent
            : kind == "stream"         ? TestServer::Stream
                                       : TestServer::Answer,
        response, scenario.value("chunk"), scenario.value("together", "1").toInt(),
        scenario.value("tls") == "yes");
    const quint16 port = kind == "refused" || kind == "port" ? free : server.port();
    QUdpSocket nameServer; // hears, never answers
    QVERIFY2(
        kind != "nameserver" || nameServer.bind(QHostAddress::LocalHost, 53), "port 53 is taken");
    product.env.insert("LAUNCHER_TEST_UPDATE_URL",
        QStringLiteral("%1://127.0.0.1:%2/sw")
            .arg(scenario.value("tls") == "yes" ? "https" : "http")
            .arg(port));
    // $P, $Q, $D and $F in the environment's values and the address: the free port, the test
    // server's, the launcher's directory and the fixtures' directory.
    const auto expanded = [&](QByteArray text) {
        return QString::fromLatin1(text.replace("$P", QByteArray::number(free))
                                       .replace("$Q", QByteArray::number(server.port()))
                                       .replace("$D", product.path())
                                       .replace("$F", FIXTURES));
    };
    if (!scenario.value("url").isEmpty())
        product.env.insert("LAUNCHER_TEST_UPDATE_URL", expanded(scenario.value("url")));
    const auto setEnvironment = [&](const Bytes& settings) {
        for (const QByteArray& setting : settings) {
            if (setting.contains('='))
                product.env.insert(
                    setting.split('=').value(0), expanded(setting.mid(setting.indexOf('=') + 1)));
            else
                product.env.remove(setting);
        }
    };
    const auto record = [&] {
        QFile file(product.path("~/record"));
        return QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : "");
    };

    std::vector<ProductDir::Process> holders;
    const QProcessEnvironment clean = product.env;
    setEnvironment(scenario.list("holder env"));
    const int count = scenario.value("holders", "1").toInt();
    for (int i = 0; i < count && !scenario.value("holder").isEmpty(); ++i)
        holders.push_back(shell(scenario.value("holder")));
    if (!holders.empty()) {
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         QTcpSocket listening;
                         listening.connectToHost(QHostAddress::LocalHost, free);
                         return !record().isEmpty() || !product.starts(1, 0).isEmpty()
                             || holders.front()->peek(2) == "1\n"
                             || listening.waitForConnected(100);
                     },
                     10000),
            "nothing holds the guard");
        int running = 0;
        for (auto& other : holders)
            running += !ProductDir::ended(*other, count > 1 ? 5000 : 0);
        QVERIFY2(
            count == 1 || running == 1, qPrintable(QStringLiteral("%1 got through").arg(running)));
        // "yes": SIGKILL; or the name of the signal that ends them.
        const QByteArray kill = scenario.value("kill");
        const int signal = kill == "TERM" ? SIGTERM
            : kill == "INT"               ? SIGINT
            : kill == "HUP"               ? SIGHUP
                                          : SIGKILL;
        for (auto& other : holders) {
            if (!kill.isEmpty() && other->state() != QProcess::NotRunning) {
                ::kill(pid_t(other->processId()), signal);
                QVERIFY2(other->waitForFinished(5000), "a holder outlived its signal");
            }
        }
        if (!kill.isEmpty())
            holders.clear();
    }
    product.env = clean;
    setEnvironment(scenario.list("env"));

    const Bytes within = scenario.value("within", "0-8000").split('-');
    QElapsedTimer clock;
    clock.start();
    ProductDir::Process launcher = scenario.value("launch").isEmpty()
        ? product.start(scenario.list("args"))
        : shell(scenario.value("launch"));
    if (!scenario.value("open").isEmpty()) {
        QVERIFY2(!ProductDir::ended(*launcher, 1500), "the window did not stay open");
    } else {
        QVERIFY2(ProductDir::ended(*launcher, 15000), "the launcher did not end");
        QVERIFY2(clock.elapsed() >= within.value(0).toInt()
                && clock.elapsed() <= within.value(1).toInt(),
            qPrintable(QStringLiteral("took %1 ms").arg(clock.elapsed())));
        QCOMPARE(launcher->exitStatus() == QProcess::NormalExit ? launcher->exitCode() : -1,
            scenario.value("exit", "1").toInt());
    }
    if (!scenario.value("closed").isEmpty())
        QVERIFY2(QTest::qWaitFor([&] { return server.closedByPeer() > 0; }, 3000),
            "the stream is still read");
    const QString output = QString::fromUtf8(launcher->readAll());
    QVERIFY2(QRegularExpression(QString::fromUtf8(scenario.value("output", "^$")))
                 .match(output)
                 .hasMatch(),
        qPrintable(output));

    QList<Bytes> starts;
    for (const QByteArray& start :
        scenario.all("starts").isEmpty() ? Bytes { "?launcher=launcher" } : scenario.all("starts"))
        if (start != "none")
            starts << start.split('|');
    QList<Bytes> started = product.starts(starts.size());
    std::sort(started.begin(), started.end());
    std::sort(starts.begin(), starts.end());
    QCOMPARE(started, starts);
    // A window that stays open may show a moment after the exchange (in a sanitizer build, say).
    const QRegularExpression recorded(QString::fromUtf8(scenario.value("record", "^$")));
    QVERIFY2(QTest::qWaitFor([&] { return recorded.match(record()).hasMatch(); }, 3000),
        qPrintable(record()));
    if (!scenario.value("asked").isEmpty())
        QCOMPARE(server.requestTargets().value(0), scenario.value("asked"));
    if (!scenario.value("requests").isEmpty())
        QCOMPARE(server.requestTargets().size(), scenario.value("requests").toInt());
    if (scenario.value("check").isEmpty()) { // the store may be anything that the check looks at
        const QSettings store(QString::fromLatin1(product.path("~/config/Nimbrel/Update.conf")),
            QSettings::IniFormat);
        QCOMPARE(store.value("en_US/quill/version").toByteArray(), scenario.value("stored"));
    }
    for (const QByteArray& command : scenario.all("check")) {
        ProductDir::Process check = shell(command);
        QVERIFY2(ProductDir::ended(*check, 10000) && check->exitCode() == 0, "failed: " + command);
    }
}

int main(int argc, char* argv[])
{
    ProductDir::useBytePaths();
    QCoreApplication application(argc, argv);
    tst_LauncherProcess test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launcherprocess.moc"
