#pragma once

namespace launcher {

// Everything the launcher writes goes through Qt's message handler, and only three messages get
// through it, each only when its case arises: the debug line of a failed update exchange, Qt's
// warning about a table text without its place marker, and the line that no window system could be
// reached. Everything else Qt says (a missing runtime directory, a platform plugin's remarks, no
// web browser to open a page with, which would echo the server's address) is dropped.
void installMessageFilter(const char* program);

// While the application object connects to the window system, a fatal message means there is
// none: the launcher then ends with one line ("<program>: cannot connect to the window system;
// nothing was started") and exit code 2, instead of an abort and a core file.
void setConnectingToWindowSystem(bool connecting);

} // namespace launcher
