#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Catches every message the code under test writes through Qt's logging, so a test can check
// exactly what would have been printed. Restores the previous handler when it goes.
class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    // Each message as "<type> <text>", with the type "debug", "info", "warning" or "critical".
    QStringList messages() const;

private:
    QtMessageHandler previous;
};
