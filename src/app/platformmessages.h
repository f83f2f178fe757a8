#pragma once

namespace launcher {

// Qt's platform start-up speaks for itself on standard error: a missing runtime directory, a
// display it cannot reach and then an abort with a core file. None of that is the user's
// business, so while the application object is being created its messages are held back, and a
// fatal one (no window system to talk to) ends the launcher with one line and exit code 2
// instead: nothing has been started then, and no guard is held.
void holdPlatformMessages(const char* program);
// Back to Qt's own message handling, once the application object exists.
void releasePlatformMessages();

} // namespace launcher
