#include "support/productdir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

ProductDir::ProductDir()
{
    if (!dir.isValid())
        return;
    root = QFileInfo(dir.path()).canonicalFilePath();
    const QString home = root + QStringLiteral("/.home");
    const QString runtime = home + QStringLiteral("/run");
    if (!QDir().mkpath(runtime) || !QDir().mkpath(home + QStringLiteral("/config")))
        return;
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    // The sanitizer build's options reach the launchers the tests start.
    for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" }) {
        if (qEnvironmentVariableIsSet(name))
            env.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    }
    valid = true;
}

QString ProductDir::shippedLauncher() { return QStringLiteral(LAUNCHER_BIN_DIR "/launcher"); }

QString ProductDir::recorderBinary() { return QStringLiteral(TESTS_BIN_DIR "/recorder"); }

QString ProductDir::filePath(const QString& relative) const
{
    return QDir::isAbsolutePath(relative) ? relative : root + QLatin1Char('/') + relative;
}

static bool copyExecutable(const QString& source, const QString& destination)
{
    QDir().mkpath(QFileInfo(destination).absolutePath());
    QFile::remove(destination);
    return QFile::copy(source, destination)
        && QFile::setPermissions(destination,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

bool ProductDir::addLauncher(const QString& relative, const QString& source)
{
    return copyExecutable(source, filePath(relative));
}

bool ProductDir::addRecorder(const QString& where)
{
    return copyExecutable(recorderBinary(), filePath(where));
}

bool ProductDir::writeFile(const QString& relative, const QByteArray& contents)
{
    const QString path = filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(contents) == contents.size();
}

void ProductDir::Reaper::operator()(QProcess* process) const
{
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished();
    }
    delete process;
}

bool ProductDir::hasEnded(QProcess& process, int timeoutMs)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
}

ProductDir::Process ProductDir::holdGuard(const QString& launcherPath)
{
    Process holder(new QProcess);
    holder->start(QStringLiteral(TESTS_BIN_DIR "/guardholder"), { launcherPath });
    if (!holder->waitForReadyRead(5000) || holder->readLine().trimmed() != "held")
        return nullptr;
    return holder;
}

ProductDir::Process ProductDir::startLauncher(
    const QStringList& arguments, const QString& launcher) const
{
    Process process(new QProcess);
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(QDir::tempPath());
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(filePath(launcher), arguments);
    return process;
}

ProductDir::Result ProductDir::runLauncher(
    const QStringList& arguments, int timeoutMs, const QString& launcher) const
{
    Result result;
    Process process = startLauncher(arguments, launcher);
    result.finished = process->waitForFinished(timeoutMs);
    if (result.finished) {
        result.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }
    result.output = process->readAll();
    return result;
}

QString ProductDir::Result::problem(int expectedCode) const
{
    if (!finished)
        return QStringLiteral("the launcher did not end");
    if (exitCode != expectedCode || !output.isEmpty())
        return QStringLiteral("exit code %1 (expected %2), output: \"%3\"")
            .arg(exitCode)
            .arg(expectedCode)
            .arg(QString::fromLocal8Bit(output));
    return QString();
}

static QList<QStringList> readRecords(const QStringList& roots)
{
    QList<QStringList> runs;
    for (const QString& top : roots) {
        QDirIterator it(top, QStringList { QStringLiteral("*.args") }, QDir::Files | QDir::Hidden,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            QStringList arguments;
            for (const QByteArray& part : file.readAll().split('\0'))
                arguments << QString::fromUtf8(part);
            arguments.removeLast(); // every argument ends with a NUL, so the last piece is empty
            runs << arguments;
        }
    }
    return runs;
}

QList<QStringList> ProductDir::recordedRuns(int expected, int timeoutMs, const QString& extra) const
{
    QStringList roots { root };
    if (!extra.isEmpty())
        roots << extra;
    QList<QStringList> runs;
    (void)QTest::qWaitFor(
        [&] {
            runs = readRecords(roots);
            return runs.size() >= expected;
        },
        timeoutMs);
    return runs;
}

int ProductDir::settledRunCount(int settleMs, const QString& extra) const
{
    QTest::qWait(settleMs);
    return recordedRuns(0, 0, extra).size();
}
