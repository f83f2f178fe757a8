#include "commandline.h"

namespace launcher {

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("-f")) {
            result.showWindow = true;
        } else if (argument == QLatin1String("-s")) {
            result.skipStart = true;
        } else if (argument == QLatin1String("-l")) {
            // The value is taken whatever it looks like; a trailing "-l" has none and is dropped.
            if (i + 1 < arguments.size())
                result.language = arguments.at(++i);
        } else {
            result.passThrough.append(i);
        }
    }
    return result;
}

} // namespace launcher
