#include "updateknobs.h"

namespace launcher {

const char* builtInUpdateBaseUrl()
{
    return LAUNCHER_UPDATE_SCHEME "://" LAUNCHER_UPDATE_HOST "/sw";
}

const char* builtInUpdatePublicKey() { return LAUNCHER_UPDATE_PUBLIC_KEY; }

const char* builtInDownloadHosts() { return LAUNCHER_DOWNLOAD_HOSTS; }

} // namespace launcher
