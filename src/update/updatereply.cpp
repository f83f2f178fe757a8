#include "updatereply.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>

namespace launcher {

namespace {

    // A key's characters: letters, digits and other numbers, marks and '_', judged one UTF-16
    // unit at a time, so that a character outside the BMP (a surrogate) is none. That is the
    // class the rule was first written with on Qt 5, and Qt 6 has no such class of its own.
    // Unicode's version is pinned to 13.0, the one of Qt 5.15: a character assigned later is
    // no key character on a newer Qt either, so both builds read the same answers alike.
    bool isKeyChar(QChar c)
    {
        if (c == QLatin1Char('_'))
            return true;
        if (c.unicodeVersion() > QChar::Unicode_13_0)
            return false;
        switch (c.category()) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
        case QChar::Number_DecimalDigit:
        case QChar::Number_Letter:
        case QChar::Number_Other:
        case QChar::Letter_Uppercase:
        case QChar::Letter_Lowercase:
        case QChar::Letter_Titlecase:
        case QChar::Letter_Modifier:
        case QChar::Letter_Other:
            return true;
        default:
            return false;
        }
    }

} // namespace

QList<QPair<QString, QString>> updateReplyEntries(const QByteArray& body)
{
    // The body is read like a C string: a NUL byte ends it.
    const int nul = body.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? body : body.left(nul));
    static const QRegularExpression lineEnds(QStringLiteral("[\r\n]+"));
    const QStringList lines = text.split(lineEnds, Qt::SkipEmptyParts);

    // One or more key characters, "=", then anything: the value runs to the end of the line.
    QList<QPair<QString, QString>> entries;
    for (const QString& line : lines) {
        int end = 0;
        while (end < line.size() && isKeyChar(line.at(end)))
            ++end;
        if (end > 0 && end < line.size() && line.at(end) == QLatin1Char('='))
            entries.append({ line.left(end), line.mid(end + 1) });
    }
    return entries;
}

bool parseUpdateReply(
    const QByteArray& body, const QString& currentVersion, QString& newVersion, QString& url)
{
    QMap<QString, QString> entries;
    for (const auto& entry : updateReplyEntries(body))
        entries.insert(entry.first, entry.second);

    const auto reported = entries.constFind(QStringLiteral("new_version"));
    if (reported == entries.constEnd() || *reported == currentVersion)
        return false;
    const QString page = entries.value(QStringLiteral("url"));
    if (page.isEmpty())
        return false;
    newVersion = *reported;
    url = page;
    return true;
}

} // namespace launcher
