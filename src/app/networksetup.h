#pragma once

namespace launcher {

// Sets up Qt's network configuration management once per process, with no plugin directory in
// sight, so that no bearer plugin is ever loaded.
//
// Every QNetworkAccessManager (the update check's, and the one each QXmlQuery makes for itself to
// read a table) shares one configuration manager, created with the first of them. That one loads
// every bearer plugin it finds (NetworkManager and ConnMan over D-Bus, the generic one), which
// pulls in QtDBus, libdbus, libsystemd and their libraries and starts threads: milliseconds and
// megabytes on every start, for a single GET and two local files. Without bearer plugins a
// request simply goes out; the network layer does not first judge whether "the network" is
// accessible (an unreachable server still fails with its own error, within the same bound).
//
// Call before anything creates a network access manager or a query; the plugin directories are
// restored before it returns, so the plugins the window needs (image formats, icon engines,
// styles) load as before. Nothing happens if a network access manager already exists.
void setUpNetworkWithoutBearerPlugins();

} // namespace launcher
