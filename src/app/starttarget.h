#pragma once

#include <QString>
#include <QStringList>

namespace launcher {

class Target;

// The argument that tells the product where its launcher lies: "?launcher=" and the launcher's
// path relative to the directory of the target executable.
QString launcherArgument(const QString& targetFilePath, const QString& launcherFilePath);

// Whether the target's executable is a file that startTarget() would start; false for an empty
// name.
bool isTargetPresent(const Target& target);

// Starts the product detached with the launcher argument and the pass-through arguments.
// Nothing is started for an empty name; a failed start is not reported.
void startTarget(const Target& target);

} // namespace launcher
