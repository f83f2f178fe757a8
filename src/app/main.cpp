#include "app/applicationobject.h"
#include "app/commandline.h"
#include "app/messagefilter.h"
#include "app/run.h"
#include "app/singleinstanceguard.h"
#include "app/target.h"
#include "common/launcherpath.h"
#include "common/settingsfile.h"
#include "update/checkupdate.h"
#include "update/updateoffer.h"

#include <QCoreApplication>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

#ifdef QT_NEEDS_QMAIN
// Qt's WinMain calls qMain (MinGW): QtGui's headers rename main() so, and none is included here.
#define main qMain
int qMain(int, char**);
#endif

int main(int argc, char* argv[])
{
    launcher::installMessageFilter(argc > 0 ? argv[0] : nullptr);
    // The resource tree is registered during static initialisation, so the built-in settings
    // can be read before the application object exists.
    QSettings settings(launcher::builtInSettingsPath(), QSettings::IniFormat);
    launcher::useUtf8(settings);
    launcher::Target target(settings);

    // The guard needs nothing of the application object, so a second launcher, which ends at
    // once, is spared setting up the window system only to tear it down again. A guard that
    // cannot be made at all (no private place for it) does not stop the launcher: it runs
    // unguarded rather than do nothing.
    launcher::locateLauncher(argc > 0 ? argv[0] : nullptr);
    launcher::SingleInstanceGuard guard(launcher::launcherFilePath());
    if (!guard.acquire() && guard.error() == launcher::SingleInstanceGuard::HeldError)
        return 0;

    // Qt's options are taken out by the launcher's own list, so that what reaches the product is
    // the same whatever the platform plugin; the application object still reads them itself.
    const QStringList arguments = launcher::commandLineArguments(argc, argv);
    const QList<int> nonQt = launcher::nonQtArguments(arguments);
    QStringList launcherArguments;
    for (const int position : nonQt)
        launcherArguments << arguments.at(position);
    const launcher::CommandLine commandLine = launcher::parseCommandLine(launcherArguments);
    for (const int position : commandLine.passThrough) {
        const int index = nonQt.at(position);
        target.arguments << arguments.at(index);
#ifdef Q_OS_LINUX
        target.argumentBytes << QByteArray(argv[index]);
#endif
    }
    if (commandLine.skipStart)
        target.name.clear();

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // With https the TLS set-up, the larger part of the exchange's cost, runs beside the
    // application object's set-up and the tables.
    launcher::prepareUpdateCheck(target);
#endif

    // The window system only when something is shown: the window now, the question once it
    // comes (applicationobject.h).
    launcher::ApplicationObject application(argc, argv, commandLine.showWindow);
    QCoreApplication::setApplicationName(launcher::launcherBaseName());
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 finds its TLS back end among its plugins through the application object: the TLS
    // set-up starts once that object exists, as one begun while it is being made races with it
    // and can crash the launcher. It still runs beside the tables.
    launcher::prepareUpdateCheck(target);
#endif

    const int exitCode = launcher::run(target, commandLine.language, commandLine.showWindow);
    // An update exchange that never finished (a name server that does not answer, a server that
    // keeps sending) still occupies Qt's network threads, and the application object would wait
    // for them when it is destroyed, up to ten seconds. The launcher's own work is done and
    // stored by now, and the system releases the guard with the process.
    if (launcher::isExchangeStillRunning()) {
        guard.release();
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}
