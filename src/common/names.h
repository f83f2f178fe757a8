#pragma once

#include <QString>

namespace launcher {

// Names the launcher gives itself to the world, the same for the whole process.

// The organisation under which the user's settings are kept (the stores of userstore.h).
extern const QString organizationName;

// The platform the download server is told: the platform element of the request's path and the
// "platform" item added to the download page's address. "windows" on every build, so that one tree
// of answers serves them all.
extern const QString platformName;

} // namespace launcher
