// The command-line parse over NUL-separated argument lists: every argument is an option, the
// value of "-l", or handed on, exactly once and in order.
#include "app/commandline.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList arguments { "launcher" };
    for (const QByteArray& part :
        QByteArray(reinterpret_cast<const char*>(data), int(size)).split('\0'))
        arguments << QString::fromUtf8(part);
    const launcher::CommandLine result = launcher::parseCommandLine(arguments);
    int next = 1;
    for (const int position : result.passThrough) {
        for (; next < position; ++next) // skipped: options, and the value after "-l"
            if (!QStringList { "-f", "-s", "-l" }.contains(arguments.at(next))
                && arguments.at(next - 1) != "-l")
                std::abort();
        if (QStringList { "-f", "-s", "-l" }.contains(arguments.at(next++)))
            std::abort();
    }
    return 0;
}
