#pragma once

#include <QString>

namespace launcher {

// The user's record of offered versions (application name "Update"), one per `key`
// ("<locale>/<product>/version").
//
// Decides whether `version` is to be offered and, when it is, records it as offered before the
// question is shown, so that a launcher ended during the question does not ask again. False when
// the store already holds exactly this version. Launchers deciding at the same moment take turns,
// each reading the store afresh, so no entry of another is lost. A store that cannot be read
// counts as holding nothing, and one that cannot be written safely (not a regular file, no room on
// the disk) is left exactly as it was: the question then simply comes again at the next start.
bool takeOffer(const QString& key, const QString& version);

// Whether the store already holds exactly `version` for `key`, as takeOffer() would find it now;
// a store that cannot be read holds nothing. Only reads.
bool isOffered(const QString& key, const QString& version);

} // namespace launcher
