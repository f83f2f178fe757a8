#pragma once

namespace launcher {

// What the build fixed for the update check (CMake cache variables), compiled into each program
// apart from the core, so that one core also serves the benchmark's https and signed variants
// (launcher_add_executable's KNOBS). The shipped launcher has no other source for them.

// "SCHEME://HOST/sw": LAUNCHER_UPDATE_SCHEME and LAUNCHER_UPDATE_HOST.
const char* builtInUpdateBaseUrl();
// LAUNCHER_UPDATE_PUBLIC_KEY, standard base64; empty: answers are not signed.
const char* builtInUpdatePublicKey();
// LAUNCHER_DOWNLOAD_HOSTS, comma-separated; empty: pages on any host.
const char* builtInDownloadHosts();

} // namespace launcher
