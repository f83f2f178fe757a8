#include "fontteardown.h"

#include <QtGlobal>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <dlfcn.h>
#endif

namespace launcher {

FontTeardown::~FontTeardown()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // Only a fontconfig that the platform plugin already loaded: the launcher takes on no
    // dependency of its own, and a platform without it is left alone.
    void* library = dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return;
    using CreateConfig = void* (*)();
    using SetCurrentConfig = int (*)(void*);
    using DestroyConfig = void (*)(void*);
    const auto create = reinterpret_cast<CreateConfig>(dlsym(library, "FcConfigCreate"));
    const auto setCurrent
        = reinterpret_cast<SetCurrentConfig>(dlsym(library, "FcConfigSetCurrent"));
    const auto destroy = reinterpret_cast<DestroyConfig>(dlsym(library, "FcConfigDestroy"));
    if (create && setCurrent && destroy) {
        // Neither call loads the system's configuration. The current configuration holds its own
        // reference from here on; the teardown releases that one.
        if (void* empty = create()) {
            setCurrent(empty);
            destroy(empty);
        }
    }
    dlclose(library);
#endif
}

} // namespace launcher
