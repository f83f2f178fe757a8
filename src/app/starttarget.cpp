#include "starttarget.h"

#include "common/configpath.h"
#include "common/launcherpath.h"
#include "target.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <vector>

extern char** environ;
#else
#include <QProcess>
#endif

namespace launcher {

QString launcherArgument(const QString& targetFilePath, const QString& launcherFilePath)
{
    return QStringLiteral("?launcher=%1")
        .arg(QFileInfo(targetFilePath).dir().relativeFilePath(launcherFilePath));
}

#ifdef Q_OS_LINUX

namespace {

    // File names are bytes here. Latin-1 maps every byte to one character and back, so QDir can
    // do the path arithmetic on them without losing a byte that is not UTF-8; the configuration's
    // names are text and are encoded as the system encodes file names.
    QString bytePath(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

    // The product's executable by its real name (the product's argv[0], and the launcher argument
    // is computed from it) and by the name that opens it, which goes through the launcher's
    // directory as launcherDirectory() reaches it.
    struct Executable {
        QByteArray path;
        QByteArray opens;
        bool throughAlias = false;
    };

    Executable targetExecutable(const QString& name)
    {
        const QByteArray file = QFile::encodeName(configPath(name));
        const QString launcherDir = QFileInfo(bytePath(launcherFilePath())).path();
        Executable executable;
        executable.path
            = QDir::cleanPath(QDir(launcherDir).absoluteFilePath(bytePath(file))).toLatin1();
        executable.throughAlias = !file.startsWith('/') && isLauncherDirectoryAlias();
        executable.opens
            = file.startsWith('/') ? file : QFile::encodeName(launcherDirectory()) + '/' + file;
        return executable;
    }

    // A process of its own: a session of its own (closing the launcher's terminal does not end
    // it), an empty signal mask, the launcher's working directory and environment. posix_spawn
    // takes the bytes as they are, and costs a fraction of QProcess::startDetached's double fork.
    // The launcher ends right after and the system adopts the product, so nobody waits for it.
    void spawnDetached(const Executable& executable, const QList<QByteArray>& arguments)
    {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(executable.path.constData()));
        for (const QByteArray& argument : arguments)
            argv.push_back(const_cast<char*>(argument.constData()));
        argv.push_back(nullptr);

        posix_spawnattr_t attributes;
        if (posix_spawnattr_init(&attributes) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Started by the name of the launcher's directory's descriptor, the product needs it: an
        // interpreter opens a script by the name it was started with. Duplicated onto itself, it
        // stays open across the start.
        if (executable.throughAlias)
            posix_spawn_file_actions_adddup2(
                &actions, launcherDirectoryDescriptor(), launcherDirectoryDescriptor());
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
        pid_t pid;
        posix_spawn(
            &pid, executable.opens.constData(), &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }

} // namespace

bool isTargetPresent(const Target& target)
{
    if (target.name.isEmpty())
        return false;
    struct stat status;
    return ::stat(targetExecutable(target.name).opens.constData(), &status) == 0
        && S_ISREG(status.st_mode);
}

void startTarget(const Target& target)
{
    if (target.name.isEmpty())
        return;

    const Executable executable = targetExecutable(target.name);
    QList<QByteArray> arguments {
        launcherArgument(bytePath(executable.path), bytePath(launcherFilePath())).toLatin1()
    };
    if (target.argumentBytes.size() == target.arguments.size()) {
        arguments << target.argumentBytes;
    } else {
        for (const QString& argument : target.arguments)
            arguments << QFile::encodeName(argument);
    }
    // An argument vector, never a shell command line: what the user typed arrives verbatim.
    spawnDetached(executable, arguments);
}

#else

namespace {

    QFileInfo targetExecutable(const QString& name)
    {
        return QFileInfo(QDir(launcherDirectory()), configPath(name));
    }

} // namespace

bool isTargetPresent(const Target& target)
{
    return !target.name.isEmpty() && targetExecutable(target.name).isFile();
}

void startTarget(const Target& target)
{
    if (target.name.isEmpty())
        return;

    const QFileInfo executable = targetExecutable(target.name);
    QStringList arguments;
    arguments << launcherArgument(
        executable.absoluteFilePath(), QString::fromUtf8(launcherFilePath()));
    arguments << target.arguments;
    // An argument vector, never a shell command line: what the user typed arrives verbatim.
    QProcess::startDetached(executable.absoluteFilePath(), arguments);
}

#endif

} // namespace launcher
