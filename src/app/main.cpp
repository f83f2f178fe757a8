#include "app/commandline.h"
#include "app/configpath.h"
#include "app/fontteardown.h"
#include "app/run.h"
#include "app/singleinstanceguard.h"
#include "app/target.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>

int main(int argc, char* argv[])
{
    // The resource tree is registered during static initialisation, so the built-in settings
    // can be read before the application object exists.
    QSettings settings(launcher::builtInSettingsPath(), QSettings::IniFormat);
    launcher::useUtf8(settings);
    launcher::Target target(settings);

    QApplication application(argc, argv);
    // Destroyed after the guard and before the application object, when nothing draws any more.
    const launcher::FontTeardown fontTeardown;
    QCoreApplication::setApplicationName(
        QFileInfo(QCoreApplication::applicationFilePath()).baseName());

    launcher::SingleInstanceGuard guard(QCoreApplication::applicationFilePath());
    if (!guard.acquire())
        return 0;

    // QApplication has already taken its own options (-style, -platform, ...) out of the list.
    const launcher::CommandLine commandLine
        = launcher::parseCommandLine(QCoreApplication::arguments());
    target.arguments << commandLine.passThrough;
    if (commandLine.skipStart)
        target.name.clear();

    return launcher::run(target, commandLine.language, commandLine.showWindow);
}
