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

// The process's arguments as text, argument 0 being the program: on Windows as CommandLineToArgvW()
// splits the command line (argv there went through the ANSI code page), elsewhere argv decoded as
// file names are.
QStringList commandLineArguments(int argc, char* argv[]);

// Reads the argument list without Qt's options (argument 0 is the program). Options are whole,
// case-sensitive words: "-f", "-s", and "-l" which consumes the next argument; everything else
// is passed through in order.
CommandLine parseCommandLine(const QStringList& arguments);

// Qt's own options: those that Qt 5.15's application object and its platform plugins document and
// take out of the command line, X11's included (-display, -geometry, -name, ...). They are taken
// out by this one list, the same whatever the platform, before the application object exists:
// one written with two dashes is the same option; an option's value is the next argument,
// whatever it holds, and for some a value written with "=". Returns the positions (in
// `arguments`, 0 being the program, which is kept) of the arguments that are not Qt's.
QList<int> nonQtArguments(const QStringList& arguments);

} // namespace launcher
