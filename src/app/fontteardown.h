#pragma once

namespace launcher {

// Keeps the end of the process from loading the system's font configuration only to release it.
//
// Qt's fontconfig-based font database (used by the xcb and offscreen platforms alike) releases
// "the current configuration" when the platform integration is torn down with the application
// object. Asking fontconfig for its current configuration loads it first if nobody has yet: it
// parses every configuration file of the system and maps the font caches, a few milliseconds on
// each start in which the launcher drew no text (the direct path, a second instance). On
// destruction this object hands fontconfig an empty configuration instead, the same way
// fontconfig's own reinitialisation replaces one, so the teardown finds one ready. Where text was
// drawn the real configuration is already loaded; it is replaced and released a moment earlier
// than the teardown would have, which costs the same.
//
// Lives in main between the application object and everything that draws text, so that it is
// destroyed after the last window and before the application object. Does nothing where the
// platform does not use fontconfig.
class FontTeardown {
public:
    FontTeardown() = default;
    ~FontTeardown();

    FontTeardown(const FontTeardown&) = delete;
    FontTeardown& operator=(const FontTeardown&) = delete;
};

} // namespace launcher
