#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace launcher {

// What the launcher's own options asked for, and which arguments it leaves to the product.
struct CommandLine {
    QString language;
    bool showWindow = false;
    bool skipStart = false;
    // Positions in the argument list of the arguments handed on to the product, in order, so
    // that the caller can hand on each one exactly as the system gave it.
    QList<int> passThrough;
};

// Reads the argument list as QCoreApplication::arguments() gives it (argument 0 is the program).
// Options are whole, case-sensitive words: "-f", "-s", and "-l" which consumes the next argument;
// everything else is passed through in order.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace launcher
