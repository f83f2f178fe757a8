#pragma once

#include <Qt>

class QCoreApplication;
class QTranslator;

namespace launcher {

// The launcher's one application object. Most starts show nothing (no newer version, one already
// offered, no locale, a second launcher), and for them the window system is pure cost: so the
// launcher starts on a core object and makes the window system's only when it is about to show
// the question or the window, in place of the core one. Translators installed here move with it.
//
// main() owns the one instance; the static functions act on it and do nothing without one.
class ApplicationObject {
public:
    // A core object; with `windowSystem` (the window is to be shown) the window system's at once.
    // Neither copies argc: both objects read `argc` and `argv` as QApplication does, and they
    // must outlive this object.
    ApplicationObject(int& argc, char** argv, bool windowSystem);
    // Before the window system's object goes, the font teardown (fontteardown.h) runs.
    ~ApplicationObject();

    ApplicationObject(const ApplicationObject&) = delete;
    ApplicationObject& operator=(const ApplicationObject&) = delete;

    // Makes the window system's object in place of the core one, unless it is there already; the
    // core object's translators are installed on it. No window system to connect to ends the
    // launcher with exit code 2 and one line (messagefilter.h). Call it before showing anything.
    static void useWindowSystem();
    static bool hasWindowSystem();

    // Installs `translator` on the application object and gives it to it, now and on the object
    // that replaces it.
    static void installTranslator(QTranslator* translator);

    // The direction of the window system's layouts, now and on the object made later: the chosen
    // language's.
    static void setLayoutDirection(Qt::LayoutDirection direction);

private:
    void makeWindowSystemObject();

    int& argc;
    char** const argv;
    QCoreApplication* application = nullptr;
    bool windowSystem = false;
    Qt::LayoutDirection direction = Qt::LeftToRight;
};

} // namespace launcher
