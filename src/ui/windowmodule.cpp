// The window system's side of the launcher (app/windowsystem.h): what this file and the window
// need of Qt's GUI libraries is loaded with them, only when something is shown.
#include "app/windowsystem.h"
#include "launcher.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace launcher {

namespace {

    QCoreApplication* makeApplication(int& argc, char** argv)
    {
        return new QApplication(argc, argv);
    }

    bool askYesNo(const QString& title, const QString& text)
    {
        return QMessageBox::information(
                   nullptr, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
            == QMessageBox::Yes;
    }

    void openUrl(const QUrl& address) { QDesktopServices::openUrl(address); }

    int showLauncher(Target& target, const UpdateInfo& updateInfo)
    {
        // No window-type bits: QDialog adds Qt::Dialog itself.
        Launcher window(nullptr,
            Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::MSWindowsFixedSizeDialogHint,
            &target, &updateInfo);
        window.raise();
        return window.exec();
    }

    const WindowSystem table { makeApplication, askYesNo, openUrl, showLauncher };

} // namespace

} // namespace launcher

extern "C" Q_DECL_EXPORT const launcher::WindowSystem* launcherWindowSystem()
{
    return &launcher::table;
}
