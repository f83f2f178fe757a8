// The download server's answer over arbitrary bytes (the first line is the installed version):
// a newer version comes with a download page and differs from the installed one, without one the
// results are untouched, and nothing after a NUL byte counts. On Qt 5 the entries are also
// checked against the regular expression the line rule was first written with, whose word class
// the key characters must match exactly.
#include "update/updatereply.h"

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QRegExp>
#endif

#include <cstdint>
#include <cstdlib>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
static QList<QPair<QString, QString>> referenceEntries(const QByteArray& body)
{
    const int nul = body.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? body : body.left(nul));
    QList<QPair<QString, QString>> entries;
    QRegExp entry("(\\w+)=(.*)", Qt::CaseSensitive, QRegExp::RegExp);
    for (const QString& line : text.split(QRegExp("[\r\n]+"), Qt::SkipEmptyParts)) {
        if (entry.exactMatch(line))
            entries.append({ entry.cap(1), entry.cap(2) });
    }
    return entries;
}

// Every character once, as a key of its own, so that the classes are compared on all of them and
// not only on what the inputs happen to hold.
static bool sameClassForEveryCharacter()
{
    QString all;
    for (char32_t c = 1; c <= 0x10ffff; ++c) {
        if (c != '\r' && c != '\n' && (c < 0xd800 || c > 0xdfff))
            all += QString::fromUcs4(&c, 1) + QStringLiteral("=\n");
    }
    const QByteArray body = all.toUtf8();
    return launcher::updateReplyEntries(body) == referenceEntries(body);
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const QString current = QString::fromUtf8(input.left(input.indexOf('\n')));
    const QByteArray body = input.mid(input.indexOf('\n') + 1);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    static const bool sameClass = sameClassForEveryCharacter();
    if (!sameClass || launcher::updateReplyEntries(body) != referenceEntries(body))
        std::abort();
#endif
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
