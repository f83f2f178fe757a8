#pragma once

class QNetworkAccessManager;
class QObject;

namespace launcher {

// A network access manager that loads no bearer plugin.
//
// The first network access manager of the process creates Qt's network configuration manager,
// which loads every bearer plugin it finds in the plugin directories (NetworkManager and ConnMan
// over D-Bus, the generic one): QtDBus, libdbus, libsystemd and their libraries and threads,
// milliseconds and megabytes for a single GET. It looks at the directories only then, so they
// are hidden while this one is made and restored at once, for the plugins the window needs.
// Without bearer plugins a request simply goes out; the network layer does not first judge
// whether "the network" is accessible (an unreachable server still fails with its own error).
QNetworkAccessManager* newNetworkManager(QObject* parent);

} // namespace launcher
