// The download server's answer over arbitrary bytes. The input's first line is the installed
// version, the rest is the body of the answer. Checked for every input: a reported newer version
// comes with a download page and differs from the installed one; without one, the results are
// left as they were; nothing after a NUL byte counts; and the result agrees with a plain reading
// of the rules written without regular expressions.
#include "update/updatereply.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

struct Result {
    bool newer = false;
    QString newVersion;
    QString url;

    bool operator==(const Result& other) const
    {
        return newer == other.newer && newVersion == other.newVersion && url == other.url;
    }
};

const QString untouchedVersion = QStringLiteral("untouched-version");
const QString untouchedUrl = QStringLiteral("untouched-url");

Result parse(const QByteArray& body, const QString& currentVersion)
{
    Result result { false, untouchedVersion, untouchedUrl };
    result.newer = launcher::parseUpdateReply(body, currentVersion, result.newVersion, result.url);
    return result;
}

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == QLatin1Char('_');
}

// The rules read plainly: text up to the first NUL, lines split at CR and LF, "key=value" with a
// key of word characters, the last entry of a key winning.
Result reference(const QByteArray& body, const QString& currentVersion)
{
    const int nul = body.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? body : body.left(nul));
    QMap<QString, QString> entries;
    int start = 0;
    while (start <= text.size()) {
        int end = start;
        while (end < text.size() && text.at(end) != QLatin1Char('\r')
            && text.at(end) != QLatin1Char('\n'))
            ++end;
        const QString line = text.mid(start, end - start);
        const int equals = line.indexOf(QLatin1Char('='));
        bool isEntry = equals > 0;
        for (int i = 0; isEntry && i < equals; ++i)
            isEntry = isWordCharacter(line.at(i));
        if (isEntry)
            entries.insert(line.left(equals), line.mid(equals + 1));
        start = end + 1;
    }

    Result result { false, untouchedVersion, untouchedUrl };
    const auto reported = entries.constFind(QStringLiteral("new_version"));
    if (reported != entries.constEnd() && *reported != currentVersion
        && !entries.value(QStringLiteral("url")).isEmpty()) {
        result = { true, *reported, entries.value(QStringLiteral("url")) };
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const int lineEnd = input.indexOf('\n');
    const QString currentVersion = QString::fromUtf8(lineEnd < 0 ? input : input.left(lineEnd));
    const QByteArray body = lineEnd < 0 ? QByteArray() : input.mid(lineEnd + 1);

    const Result result = parse(body, currentVersion);
    if (result.newer && (result.url.isEmpty() || result.newVersion == currentVersion))
        std::abort();
    if (!result.newer && (result.newVersion != untouchedVersion || result.url != untouchedUrl))
        std::abort();

    // Whatever follows a NUL byte, an answer of its own included, changes nothing.
    const int nul = body.indexOf('\0');
    if (nul >= 0 && !(parse(body.left(nul), currentVersion) == result))
        std::abort();
    const QByteArray tail = QByteArray(1, '\0') + "new_version=0\nurl=http://tail.example/\n";
    if (!(parse(body + tail, currentVersion) == result))
        std::abort();

    if (!(reference(body, currentVersion) == result))
        std::abort();
    return 0;
}
