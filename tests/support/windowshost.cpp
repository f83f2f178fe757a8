#include "windowshost.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

static const char* const wine64 = "/usr/lib/wine/wine64";

WindowsHost::WindowsHost(const QByteArray& build)
    : build(build)
{
    if (build.isEmpty() || !QFile::exists(file("check/launcher.exe")))
        why = "no Windows build (LAUNCHER_WINDOWS_BUILD: scripts/windows/build.sh)";
    else if (!QFile::exists(wine64) || QStandardPaths::findExecutable("Xvfb").isEmpty())
        why = "no Wine or Xvfb (scripts/windows/build.sh installs them)";
    if (!why.isEmpty())
        return;
    // Xvfb writes the display's number to descriptor 3, which QProcess does not offer.
    const QString number = prefix.filePath("display");
    xServer.start("/bin/sh",
        { "-c", "exec Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>\"$0\" 2>/dev/null",
            number });
    if (!QTest::qWaitFor([&] { return QFile(number).size() > 0; }, 10000)) {
        why = "Xvfb did not start";
        return;
    }
    QFile shown(number);
    display = ":" + (shown.open(QIODevice::ReadOnly) ? shown.readAll().trimmed() : "");
    wine({ "wineboot", "-i" });
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    addTo(env);
    server.setProcessEnvironment(env);
    server.start("/usr/lib/wine/wineserver", { "-p" }); // one server for every row
    server.waitForFinished();
}

WindowsHost::~WindowsHost()
{
    if (!display.isEmpty()) {
        QProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        addTo(env);
        server.setProcessEnvironment(env);
        server.start("/usr/lib/wine/wineserver", { "-k" });
        server.waitForFinished();
    }
    xServer.kill();
    xServer.waitForFinished();
}

void WindowsHost::addTo(QProcessEnvironment& env) const
{
    env.insert("WINEPREFIX", prefix.filePath("prefix"));
    env.insert("WINEDEBUG", "-all");
    env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
    env.insert("DISPLAY", QString::fromLatin1(display));
}

QString WindowsHost::windowsPath(const QByteArray& path)
{
    return "Z:" + QString::fromUtf8(path);
}

QByteArray WindowsHost::wine(const QStringList& arguments) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    addTo(env);
    process.setProcessEnvironment(env);
    process.start(wine64, arguments);
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

QByteArray WindowsHost::registryValue(const QByteArray& key) const
{
    const QByteArray group = key.left(key.lastIndexOf('/')).replace('/', '\\');
    const QString name = key.mid(key.lastIndexOf('/') + 1);
    const QString listed = QString::fromUtf8(
        wine({ "reg", "query", "HKCU\\Software\\Nimbrel\\" + group, "/v", name }));
    const QRegularExpression value("(?m)^\\s*" + QRegularExpression::escape(name)
        + "\\s+REG_\\w+\\s+([^\r\n]*)");
    return value.match(listed).captured(1).toUtf8();
}

void WindowsHost::forget() const { wine({ "reg", "delete", "HKCU\\Software\\Nimbrel", "/f" }); }
