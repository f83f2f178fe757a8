#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace launcher {

// The entries of the answer, in order: UTF-8 text up to the first NUL byte, one "key=value" a
// line (lines end at any run of CR and LF; the key of letters, digits, marks and underscores).
QList<QPair<QString, QString>> updateReplyEntries(const QByteArray& body);

// Reads the download server's answer: UTF-8 text up to the first NUL byte, one "key=value" entry
// per line (lines end at any run of CR and LF), the last entry of a key winning. The server
// reports a newer version when "new_version" differs in any way from `currentVersion` (versions
// are not ordered) and "url" is not empty. Only then are `newVersion` and `url` set, both
// together; otherwise they are left as they are and the result is false.
bool parseUpdateReply(
    const QByteArray& body, const QString& currentVersion, QString& newVersion, QString& url);

} // namespace launcher
