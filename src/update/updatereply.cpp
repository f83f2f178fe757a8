#include "updatereply.h"

#include <QMap>
#include <QRegExp>
#include <QStringList>

namespace launcher {

QList<QPair<QString, QString>> updateReplyEntries(const QByteArray& body)
{
    // The body is read like a C string: a NUL byte ends it.
    const int nul = body.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? body : body.left(nul));
    const QStringList lines = text.split(QRegExp(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);

    QList<QPair<QString, QString>> entries;
    for (const QString& line : lines) {
        QRegExp entry(QStringLiteral("(\\w+)=(.*)"), Qt::CaseSensitive, QRegExp::RegExp);
        if (entry.exactMatch(line))
            entries.append({ entry.cap(1), entry.cap(2) });
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
