// The real launcher as a user starts it, one row of the tables in scenarios/ each: what is laid
// out, what the server does, what else runs; then its exit code, the bytes the product received,
// its output, its time, what it asked and showed, what the store holds. Whatever only shows across
// processes is a row. docs/testing.md describes the tables. The rows for Windows run under Wine
// (LAUNCHER_SCENARIO_PLATFORM=windows, the cross build in LAUNCHER_WINDOWS_BUILD, in the session
// of tests/support/wine-session.sh).
#include "support/productdir.h"
#include "support/testserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <unistd.h>

using Bytes = QList<QByteArray>;

namespace {

// A row and its section's defaults: a key the row does not give is the section's.
struct Scenario {
    QList<QPair<QByteArray, QByteArray>> lines, defaults;
    Bytes all(const QByteArray& key) const
    {
        Bytes values;
        for (const auto* source : { &lines, &defaults }) {
            for (const auto& line : *source)
                if (line.first == key)
                    values << line.second;
            if (!values.isEmpty())
                break;
        }
        return values;
    }
    QByteArray value(const QByteArray& key) const { return all(key).value(0); }
    Bytes list(const QByteArray& key) const
    {
        return value(key).isEmpty() ? Bytes() : value(key).split('|');
    }
};

// The escapes \t \n \r \\ \0 \xNN.
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

QByteArray contents(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The built-in settings: a file of data/settings, its [target] keys changed as `target` says.
QByteArray settings(const Scenario& scenario)
{
    // Latin-1 keeps every byte as it is.
    QString text = QString::fromLatin1(contents(DATA "/settings/" + scenario.value("settings") + ".ini"));
    for (const QByteArray& change : scenario.list("target")) {
        const QString key = QString::fromLatin1(change.left(change.indexOf('=')).trimmed());
        const QString value = QString::fromLatin1(change.mid(change.indexOf('=') + 1).trimmed());
        text.remove(QRegularExpression("(?m)^" + key + " = [^\r\n]*\r\n"));
        if (!value.isEmpty()) // "key =" drops it
            text.replace("[target]\r\n", "[target]\r\n" + key + " = " + value + "\r\n");
    }
    return text.toLatin1();
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

const QMap<QByteArray, int> signalNames { { "KILL", SIGKILL }, { "TERM", SIGTERM },
    { "INT", SIGINT }, { "HUP", SIGHUP } };

} // namespace

Q_DECLARE_METATYPE(Scenario)

class tst_LauncherProcess : public QObject {
    Q_OBJECT

private slots:
    void scenario_data();
    void scenario();

private:
    const QByteArray platform = qEnvironmentVariable("LAUNCHER_SCENARIO_PLATFORM", "linux").toUtf8();
    const QByteArray windowsBuild = platform == "windows" ? qgetenv("LAUNCHER_WINDOWS_BUILD") : "";
};

void tst_LauncherProcess::scenario_data()
{
    QTest::addColumn<Scenario>("scenario");
    for (const QFileInfo& table : QDir(SCENARIOS).entryInfoList({ "*.txt" }, QDir::Files)) {
        const QByteArray section = table.completeBaseName().toUtf8();
        QByteArray name;
        Scenario scenario, defaults;
        const auto add = [&] {
            scenario.defaults = defaults.lines;
            if (name == "defaults") {
                defaults = scenario;
                // So that no row leans on a default from outside its section.
                for (const QByteArray key : { "platforms", "settings", "server", "exit", "starts" })
                    QVERIFY2(!defaults.all(key).isEmpty(), section + " gives no default " + key);
            } else if (!name.isEmpty() && scenario.list("platforms").contains(platform)) {
                QTest::newRow((section + ": " + name).constData()) << scenario;
            }
        };
        for (const QByteArray& line : contents(table.filePath()).split('\n')) {
            const int colon = line.indexOf(line.contains(": ") ? ": " : ":"); // "key:" is empty
            if (line.startsWith('[')) {
                add();
                name = line.mid(1, line.size() - 2), scenario = Scenario();
            } else if (!line.startsWith('#') && colon > 0 && (colon < line.size() - 1 || line.endsWith(':'))) {
                scenario.lines << qMakePair(
                    line.left(colon), unescaped(line.mid(colon + 2)).replace(" | ", "|"));
            }
        }
        add();
    }
}

void tst_LauncherProcess::scenario()
{
    QFETCH(Scenario, scenario);
    for (const QByteArray& need : scenario.list("needs root"))
        QVERIFY2(rootProbes.contains(need), "needs root for what? " + need);
    if (const QByteArray missing = missingRootNeed(scenario.list("needs root")); !missing.isEmpty())
        QSKIP(("needs root: " + missing).constData());
    for (const QByteArray& program : scenario.list("needs"))
        if (QStandardPaths::findExecutable(program, { "/usr/sbin", "/usr/bin" }).isEmpty())
            QSKIP((program + " is missing (./test.sh installs it)").constData());

    ProductDir product(scenario.value("subdir"), windowsBuild);
    QVERIFY(product.isValid() && product.addLauncher(settings(scenario))
        && product.write("~/config/Nimbrel/.keep", ""));
    const QByteArray at = scenario.value("product");
    QVERIFY(at == "none" || product.addProduct(at.isEmpty() ? "qpr.exe" : at));
    const quint16 free = TestServer::closedPort();
    product.env.insert("P", QString::number(free));
    product.env.insert("F", DATA);
    product.env.insert("T", TREE_TOOL);
    product.env.insert("S", PROJECT_SOURCE_DIR);
    product.env.insert("LAUNCHER_TEST_ANSWER", scenario.value("answer"));
    const auto shell = [&](const QByteArray& command) {
        return product.start({ "-c", command }, "/bin/sh", product.path());
    };
    for (const QByteArray& command : scenario.all("setup")) {
        ProductDir::Process setup = shell(command);
        QVERIFY2(ProductDir::ended(*setup, 10000) && setup->exitCode() == 0,
            command + ": " + setup->readAll());
    }

    const QByteArray kind = scenario.value("server");
    const QByteArray body = scenario.value("reply file").isEmpty()
        ? scenario.value("reply")
        : contents(QString::fromLatin1(product.path(scenario.value("reply file"))));
    TestServer server(kind == "silent" ? TestServer::Silent
            : kind == "stream"         ? TestServer::Stream
                                       : TestServer::Answer,
        scenario.value("response").isEmpty() ? TestServer::http(200, body)
                                             : scenario.value("response"),
        scenario.value("chunk"), scenario.value("together").toInt(),
        scenario.value("tls") == "yes");
    QUdpSocket nameServer; // hears, never answers
    QVERIFY2(
        kind != "nameserver" || nameServer.bind(QHostAddress::LocalHost, 53), "port 53 is taken");
    // In the environment's values and the address: $P the free port, $Q the test server's, $D
    // the launcher's directory, $F the directory data/.
    const auto expanded = [&](QByteArray text) {
        return QString::fromLatin1(text.replace("$P", QByteArray::number(free))
                                       .replace("$Q", QByteArray::number(server.port()))
                                       .replace("$D", product.path())
                                       .replace("$F", DATA));
    };
    product.env.insert("LAUNCHER_TEST_UPDATE_URL",
        expanded(scenario.value("url").isEmpty()
                ? (scenario.value("tls") == "yes" ? "https" : "http") + QByteArray("://127.0.0.1:")
                    + (QByteArray("answer stream silent").contains(kind) ? "$Q" : "$P") + "/sw"
                : scenario.value("url")));
    const auto record = [&] {
        Bytes lines = contents(QString::fromLatin1(product.path("~/record"))).split('\n');
        lines.removeLast(); // after the last line's end
        return lines;
    };

    // What runs first and holds the guard (or a port): until it shows its window, starts the
    // product, prints 1 or listens on $P. Ended by the signal `kill` names before the launcher.
    ProductDir::Process holder;
    if (!scenario.value("holder").isEmpty()) {
        holder = shell(scenario.value("holder"));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         QTcpSocket listening;
                         listening.connectToHost(QHostAddress::LocalHost, free);
                         return !record().isEmpty() || !product.starts(1, 0).isEmpty()
                             || holder->peek(2) == "1\n" || listening.waitForConnected(100);
                     },
                     10000),
            "nothing holds the guard");
        if (const QByteArray kill = scenario.value("kill"); !kill.isEmpty()) {
            QVERIFY2(signalNames.contains(kill), "no signal " + kill);
            if (holder->state() != QProcess::NotRunning) // else its id is 0: the whole group
                ::kill(pid_t(holder->processId()), signalNames.value(kill));
            QVERIFY2(ProductDir::ended(*holder, 5000), "the holder outlived its signal");
        }
    }
    for (const QByteArray& setting : scenario.list("env")) {
        if (setting.contains('='))
            product.env.insert(
                setting.left(setting.indexOf('=')), expanded(setting.mid(setting.indexOf('=') + 1)));
        else
            product.env.remove(setting);
    }

    const Bytes within = (scenario.value("within").isEmpty() ? QByteArray("0-8000")
                                                             : scenario.value("within"))
                             .split('-');
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
            scenario.value("exit").toInt());
    }
    if (!scenario.value("closed").isEmpty())
        QVERIFY2(QTest::qWaitFor([&] { return server.closedByPeer() > 0; }, 3000),
            "the stream is still read");
    // Nothing, or what the pattern matches whole.
    const QString output = QString::fromUtf8(launcher->readAll());
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(scenario.value("output")))
                 .match(output)
                 .hasMatch(),
        qPrintable(output));

    QList<Bytes> starts;
    for (const QByteArray& start : scenario.all("starts"))
        if (start != "none")
            starts << start.split('|');
    QList<Bytes> started = product.starts(starts.size());
    std::sort(started.begin(), started.end());
    std::sort(starts.begin(), starts.end());
    QCOMPARE(started, starts);
    // One line each, in order; a window that stays open may show a moment after the exchange.
    Bytes patterns = scenario.all("record");
    patterns.removeAll(QByteArray());
    const auto recorded = [&] {
        const Bytes lines = record();
        for (int i = 0; i < patterns.size() && lines.size() == patterns.size(); ++i)
            if (!QRegularExpression(QRegularExpression::anchoredPattern(patterns.at(i)))
                     .match(QString::fromUtf8(lines.at(i)))
                     .hasMatch())
                return false;
        return lines.size() == patterns.size();
    };
    QVERIFY2(QTest::qWaitFor(recorded, 3000), record().join('\n'));
    if (!scenario.value("asked").isEmpty())
        QCOMPARE(server.requestTargets().value(0), scenario.value("asked"));
    if (!scenario.value("requests").isEmpty())
        QCOMPARE(server.requestTargets().size(), scenario.value("requests").toInt());
    if (scenario.value("check").isEmpty()) // the store may be anything that the check looks at
        QCOMPARE(product.stored("en_US/quill/version"), scenario.value("stored"));
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
