#pragma once

#include <QByteArray>
#include <QString>

namespace launcher {

// The launcher's own executable file and the directory it lies in, found once at start-up,
// before the application object exists.
//
// On Linux a file name is bytes, not necessarily UTF-8, and may be longer than the system's limit
// for a path (PATH_MAX), beyond which /proc/self/exe cannot be read and no file can be opened by
// its full name. QCoreApplication::applicationFilePath() loses both; these do not.

// Finds the launcher's file; `argv0` is main()'s argv[0], which locates the directory when the
// path is too long to be read (it is checked to hold the running file).
void locateLauncher(const char* argv0);

// The launcher's executable as the system names the running file: on Linux the real bytes, links
// resolved (a hard link or a bind mount is another path); on Windows the UTF-8 form of its path;
// elsewhere the encoded form of applicationFilePath(). Empty when it could not be found.
QByteArray launcherFilePath();

// The directory as Qt's file classes open it. Where its name is too long to open or does not
// decode as a file name, this is "/proc/self/fd/N" for a descriptor of the directory kept open
// for the process: a short name for the same files.
QString launcherDirectory();

// True when launcherDirectory() is such a descriptor's name. A program started from a file in it
// must inherit the descriptor (for an interpreter that opens a script by that name).
bool isLauncherDirectoryAlias();
int launcherDirectoryDescriptor();

// The application name: the launcher's file name up to its first ".".
QString launcherBaseName();

} // namespace launcher
