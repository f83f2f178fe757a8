#pragma once

#include <QString>

namespace launcher {

// What the update step found: the reported version and the download page (with the "platform"
// item added). Both empty unless the server reported a newer version.
struct UpdateInfo {
    QString newVersion;
    QString updateUrl;
};

} // namespace launcher
