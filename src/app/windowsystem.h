#pragma once

#include <Qt>

class QCoreApplication;
class QString;
class QUrl;

namespace launcher {

class Target;
struct UpdateInfo;

// Everything of the launcher that needs the window system, behind one table. Where the build makes
// it a module of its own (LAUNCHER_WINDOW_MODULE, on Linux: lib/launcher-window.so in the
// launcher's directory), it is loaded only by the first call of windowSystem(), and Qt's GUI
// libraries with it: a start that shows nothing loads neither. Elsewhere (the static Windows build)
// it is built in.
struct WindowSystem {
    // The window system's application object (QApplication on argc and argv), laid out in
    // device-independent pixels and drawn at the screen's density.
    QCoreApplication* (*makeApplication)(int& argc, char** argv);
    // The direction of every window's layout from now on.
    void (*setLayoutDirection)(Qt::LayoutDirection direction);
    // The update question as a message box with Yes and No; whether the answer was Yes.
    bool (*askYesNo)(const QString& title, const QString& text);
    // Hands an address to the desktop's opener.
    void (*openUrl)(const QUrl& address);
    // The launcher window of "-f", run modally: 1 after the launch button, 0 otherwise.
    int (*showLauncher)(Target& target, const UpdateInfo& updateInfo);
};

// The table, loaded on first use. A module that cannot be loaded ends the launcher with exit
// code 2 and one line, as a window system that cannot be reached does: nothing was started.
const WindowSystem& windowSystem();

} // namespace launcher

// The module's one entry point.
extern "C" const launcher::WindowSystem* launcherWindowSystem();
