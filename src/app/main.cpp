#include "app/commandline.h"
#include "app/fontteardown.h"
#include "app/platformmessages.h"
#include "app/run.h"
#include "app/singleinstanceguard.h"
#include "app/target.h"
#include "common/configpath.h"
#include "update/checkupdate.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    // The resource tree is registered during static initialisation, so the built-in settings
    // can be read before the application object exists.
    QSettings settings(launcher::builtInSettingsPath(), QSettings::IniFormat);
    launcher::useUtf8(settings);
    launcher::Target target(settings);

#ifdef Q_OS_LINUX
    // Here the guard needs nothing of the application object, so a second launcher, which ends
    // at once, is spared setting up the window system only to tear it down again.
    launcher::SingleInstanceGuard guard(launcher::nativeLauncherPath());
    if (!guard.acquire())
        return 0;
#endif

    launcher::holdPlatformMessages(argc > 0 ? argv[0] : nullptr);
    QApplication application(argc, argv);
    launcher::releasePlatformMessages();
    // Destroyed after the guard and before the application object, when nothing draws any more.
    const launcher::FontTeardown fontTeardown;
    QCoreApplication::setApplicationName(
        QFileInfo(QCoreApplication::applicationFilePath()).baseName());

#ifndef Q_OS_LINUX
    launcher::SingleInstanceGuard guard(launcher::nativeLauncherPath());
    if (!guard.acquire())
        return 0;
#endif

    // QApplication has already taken its own options (-style, -platform, ...) out of the list,
    // and out of argv alike, so a position in one is the same argument in the other.
    const QStringList arguments = QCoreApplication::arguments();
    const launcher::CommandLine commandLine = launcher::parseCommandLine(arguments);
    for (const int position : commandLine.passThrough) {
        target.arguments << arguments.at(position);
#ifdef Q_OS_LINUX
        target.argumentBytes << QByteArray(argv[position]);
#endif
    }
    if (commandLine.skipStart)
        target.name.clear();

    const int exitCode = launcher::run(target, commandLine.language, commandLine.showWindow);
    // An update exchange that never finished (a name server that does not answer, a server that
    // keeps sending) still occupies Qt's network threads, and the application object would wait
    // for them when it is destroyed, up to ten seconds. The launcher's own work is done and
    // stored by now, and the system releases the guard with the process.
    if (launcher::isExchangeStillRunning()) {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}
