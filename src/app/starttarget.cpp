#include "starttarget.h"

#include "configpath.h"
#include "target.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace launcher {

QString launcherArgument(const QString& targetFilePath, const QString& launcherFilePath)
{
    return QStringLiteral("?launcher=%1")
        .arg(QFileInfo(targetFilePath).dir().relativeFilePath(launcherFilePath));
}

void startTarget(const Target& target)
{
    if (target.name.isEmpty())
        return;

    const QFileInfo executable(
        QDir(QCoreApplication::applicationDirPath()), configPath(target.name));
    QStringList arguments;
    arguments << launcherArgument(
        executable.absoluteFilePath(), QCoreApplication::applicationFilePath());
    arguments << target.arguments;

    // An argument vector, never a shell command line: what the user typed arrives verbatim.
    QProcess::startDetached(executable.absoluteFilePath(), arguments);
}

} // namespace launcher
