#include "names.h"

namespace launcher {

const QString organizationName = QStringLiteral("Nimbrel");
const QString platformName = QStringLiteral("windows");

} // namespace launcher
