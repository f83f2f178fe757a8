// The window system's side of the launcher (app/windowsystem.h): what this file and the window
// need of Qt's GUI libraries is loaded with them, only when something is shown.
#include "app/windowsystem.h"
#include "launcher.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QUrl>

namespace launcher {

namespace {

    QCoreApplication* makeApplication(int& argc, char** argv)
    {
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        // What Qt 6 does by default: on a dense screen the window is the same in device-independent
        // pixels (text, margins and pictures alike), drawn at the screen's density with the
        // pictures from their full-resolution sources; a factor of 1.5 is taken as it is, not
        // rounded to 2.
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
        QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
        QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
            Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
        return new QApplication(argc, argv);
    }

    void setLayoutDirection(Qt::LayoutDirection direction)
    {
        QGuiApplication::setLayoutDirection(direction);
    }

    bool askYesNo(const QString& title, const QString& text)
    {
        // QMessageBox::information's box, with its icon named for screen readers by the title.
        QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        if (auto* icon = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
            icon->setAccessibleName(title);
        return box.exec() == QMessageBox::Yes;
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

    const WindowSystem table { makeApplication, setLayoutDirection, askYesNo, openUrl,
        showLauncher };

} // namespace

} // namespace launcher

extern "C" Q_DECL_EXPORT const launcher::WindowSystem* launcherWindowSystem()
{
    return &launcher::table;
}
