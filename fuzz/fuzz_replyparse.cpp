// The download server's answer over arbitrary bytes (the first line is the installed version):
// a newer version comes with a download page and differs from the installed one, without one the
// results are untouched, and nothing after a NUL byte counts.
#include "update/updatereply.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const QString current = QString::fromUtf8(input.left(input.indexOf('\n')));
    const QByteArray body = input.mid(input.indexOf('\n') + 1);
    QString version = "untouched", url = "untouched";
    const bool newer = launcher::parseUpdateReply(body, current, version, url);
    if (newer ? (version == current || url.isEmpty())
              : (version != "untouched" || url != "untouched"))
        std::abort();
    QString cutVersion = "untouched", cutUrl = "untouched";
    const int nul = body.indexOf('\0');
    if (nul >= 0
        && (launcher::parseUpdateReply(
                body.left(nul) + '\0' + "\nnew_version=x\nurl=y", current, cutVersion, cutUrl)
                != newer
            || cutVersion != version || cutUrl != url))
        std::abort();
    return 0;
}
