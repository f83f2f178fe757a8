// The command-line parse over arbitrary argument lists: NUL-separated arguments.
#include "app/commandline.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QStringList arguments { QStringLiteral("launcher") };
    for (const QByteArray& part : bytes.split('\0'))
        arguments << QString::fromUtf8(part);

    const launcher::CommandLine result = launcher::parseCommandLine(arguments);

    // Every argument is accounted for: an option, the value after "-l", or passed through.
    int options = 0;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("-f") || a == QLatin1String("-s"))
            ++options;
        else if (a == QLatin1String("-l") && i + 1 < arguments.size())
            options += 2, ++i; // the option and its value
        else if (a == QLatin1String("-l"))
            ++options; // a trailing "-l" is dropped
    }
    if (result.passThrough.size() + options != arguments.size() - 1)
        std::abort();
    for (const QString& passed : result.passThrough) {
        if (passed == QLatin1String("-f") || passed == QLatin1String("-s")
            || passed == QLatin1String("-l"))
            std::abort();
    }
    return 0;
}
