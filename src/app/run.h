#pragma once

#include <QString>

namespace launcher {

class Target;

// The launch sequence: language, update offer, then either the product is started (result 1) or
// the launcher window is shown and its result returned. The only place where the parts meet.
int run(Target& target, const QString& language, bool showWindow);

} // namespace launcher
