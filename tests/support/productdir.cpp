#include "productdir.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QTextCodec>

void ProductDir::useBytePaths() { QTextCodec::setCodecForLocale(QTextCodec::codecForMib(4)); }

static QString name(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

ProductDir::ProductDir(const QByteArray& subdir, const QByteArray& windows)
    : root(dir.path().toLatin1() + (subdir.isEmpty() ? "" : "/" + subdir))
    , windows(windows)
{
    valid = dir.isValid() && QDir().mkpath(name(root)) && QDir().mkpath(name(path("~/run")))
        && QFile::setPermissions(
            name(path("~/run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const char* setting : { "PATH", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS",
             "WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "DISPLAY" })
        if (qEnvironmentVariableIsSet(setting) && (!windows.isEmpty() || setting[0] != 'W'))
            env.insert(setting, qEnvironmentVariable(setting));
    env.insert("HOME", name(path("~")));
    env.insert("XDG_CONFIG_HOME", name(path("~/config")));
    env.insert("XDG_RUNTIME_DIR", name(path("~/run")));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LANG", "C.UTF-8");
    const QByteArray launcher = path(windows.isEmpty() ? "launcher" : "launcher.exe");
    env.insert("L", name(path("launcher")));
    env.insert("H", QCryptographicHash::hash(launcher, QCryptographicHash::Sha256).toHex());
    env.insert("W", name(windows));
    env.insert("LAUNCHER_TEST_RECORD", native(path("~/record")));
    if (!windows.isEmpty())
        wine({ "reg", "delete", "HKCU\\Software\\Nimbrel", "/f" }); // as on a new machine
    const QString tables = name(windows.isEmpty() ? LAUNCHER_BIN_DIR : windows + "/bin")
        + "/resources/languages";
    for (QDirIterator it(tables, QDir::Files); it.hasNext();) {
        QFile table(it.next());
        valid &= table.open(QIODevice::ReadOnly)
            && write("resources/languages/" + it.fileName().toLatin1(), table.readAll());
    }
}

QString ProductDir::native(const QByteArray& path) const
{
    return windows.isEmpty() ? name(path) : "Z:" + QString::fromUtf8(path);
}

QByteArray ProductDir::wine(const QStringList& arguments) const
{
    QProcess process;
    process.start("/usr/lib/wine/wine64", arguments);
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

QByteArray ProductDir::path(const QByteArray& relative) const
{
    if (relative.startsWith('~'))
        return dir.path().toLatin1() + "/.home" + relative.mid(1);
    return relative.startsWith('/') ? relative : root + '/' + relative;
}

bool ProductDir::write(const QByteArray& file, const QByteArray& contents)
{
    QFile out(name(path(file)));
    return QDir().mkpath(QFileInfo(out).path()) && out.open(QIODevice::WriteOnly)
        && out.write(contents) == contents.size();
}

static bool copy(const QString& from, ProductDir& to, const QByteArray& at)
{
    QFile in(from);
    const QByteArray binary = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    return !binary.isEmpty() && to.write(at, binary)
        && QFile::setPermissions(name(to.path(at)),
            QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
}

bool ProductDir::addLauncher(const QByteArray& settings, const QByteArray& at)
{
    if (!settings.isEmpty()) {
        if (!write("~/settings.ini", settings))
            return false;
        env.insert("LAUNCHER_TEST_SETTINGS", native(path("~/settings.ini")));
    }
    if (windows.isEmpty())
        return copy(TEST_LAUNCHER, *this, at);
    // Started through Wine by a script of the launcher's name.
    return copy(name(windows + "/check/launcher.exe"), *this, at + ".exe")
        && write(at, "#!/bin/sh\nexec /usr/lib/wine/wine64 \"$0.exe\" \"$@\"\n")
        && QFile::setPermissions(name(path(at)), QFile::ReadOwner | QFile::ExeOwner);
}

bool ProductDir::addProduct(const QByteArray& at)
{
    return copy(windows.isEmpty() ? RECORDER : name(windows + "/check/qpr.exe"), *this, at);
}

QByteArray ProductDir::stored(const QByteArray& key) const
{
    if (!windows.isEmpty()) {
        const QString listed = QString::fromUtf8(wine({ "reg", "query",
            "HKCU\\Software\\Nimbrel\\Update\\" + name(key.left(key.lastIndexOf('/'))).replace('/', '\\'),
            "/v", "version" }));
        return QRegularExpression("version\\s+REG_SZ\\s+([^\r\n]*)").match(listed).captured(1).toUtf8();
    }
    const QSettings store(name(path("~/config/Nimbrel/Update.conf")), QSettings::IniFormat);
    return store.value(name(key)).toByteArray();
}

void ProductDir::Reaper::operator()(QProcess* process) const
{
    // Asked first, so that a launcher still running takes its guard's files with it.
    process->terminate();
    if (!process->waitForFinished(2000)) {
        process->kill();
        process->waitForFinished();
    }
    delete process;
}

ProductDir::Process ProductDir::start(const QList<QByteArray>& arguments, const QByteArray& program,
    const QByteArray& directory) const
{
    Process process(new QProcess);
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(directory.isEmpty() ? QDir::tempPath() : name(directory));
    process->setProcessChannelMode(QProcess::MergedChannels);
    QStringList list;
    for (const QByteArray& argument : arguments)
        list << name(argument);
    process->start(name(path(program)), list);
    return process;
}

// Whether a stand-in product below `directory` is still running (and so may not have written its
// record yet).
static bool recording(const QByteArray& directory)
{
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile command("/proc/" + pid + "/cmdline");
        if (command.open(QIODevice::ReadOnly)
            && command.readAll().startsWith(QByteArray("/bin/sh\0", 8) + directory))
            return true;
    }
    return false;
}

QList<QList<QByteArray>> ProductDir::starts(int expected, int timeoutMs) const
{
    QList<QList<QByteArray>> runs;
    (void)QTest::qWaitFor(
        [&] {
            runs.clear();
            for (QDirIterator it(
                     dir.path(), { "*.args" }, QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();) {
                QFile record(it.next());
                QList<QByteArray> arguments = record.open(QIODevice::ReadOnly)
                    ? record.readAll().split('\0')
                    : QList<QByteArray>();
                if (!arguments.isEmpty())
                    arguments.removeLast(); // each argument ends with a NUL
                runs << arguments;
            }
            // Every product started so far has written its record: one more than expected shows.
            return runs.size() >= expected && !recording(dir.path().toLatin1());
        },
        timeoutMs);
    return runs;
}
