#pragma once

#include <QString>

class QSettings;

namespace launcher {

// Writes the offered `version` under `key` in the user's store and syncs it, in a way that cannot
// harm what the store already holds: launchers storing at the same moment take turns, and where the
// store is a file, it is only rewritten when the disk has room for it. When the version cannot be
// kept, nothing is written and the question simply comes again at the next start.
void storeOfferedVersion(QSettings& store, const QString& key, const QString& version);

} // namespace launcher
