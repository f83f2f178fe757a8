#include "windowsystem.h"

#include "common/launcherpath.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

#ifdef LAUNCHER_WINDOW_MODULE
#include <dlfcn.h>
#endif

namespace launcher {

#ifdef LAUNCHER_WINDOW_MODULE
namespace {

    [[noreturn]] void cannotLoad(const QByteArray& path, const char* reason)
    {
        std::fprintf(stderr, "%s: cannot load %s (%s); nothing was started\n",
            QFile::encodeName(launcherBaseName()).constData(), path.constData(),
            reason ? reason : "no entry point");
        std::fflush(stderr);
        std::_Exit(2);
    }

} // namespace
#endif

const WindowSystem& windowSystem()
{
#ifdef LAUNCHER_WINDOW_MODULE
    static const WindowSystem* const table = [] {
        // In the launcher's own directory, as the product and its tables are: only who can
        // replace the launcher can replace it. (A subdirectory: a shared object right below
        // /usr/lib would have the package run ldconfig for a library that nobody links.)
        const QByteArray path
            = QFile::encodeName(launcherDirectory() + QStringLiteral("/lib/launcher-window.so"));
        void* module = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module)
            cannotLoad(path, dlerror());
        using Entry = const WindowSystem* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(module, "launcherWindowSystem"));
        const WindowSystem* loaded = entry ? entry() : nullptr;
        if (!loaded)
            cannotLoad(path, nullptr);
        return loaded;
    }();
    return *table;
#else
    return *launcherWindowSystem();
#endif
}

} // namespace launcher
