#include "messagelog.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex mutex;
QStringList caught;

void catchMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    static const char* const names[] = { "debug", "warning", "critical", "fatal", "info" };
    QMutexLocker lock(&mutex);
    caught << QString::fromLatin1(names[type]) + QLatin1Char(' ') + text;
}

} // namespace

MessageLog::MessageLog()
{
    QMutexLocker lock(&mutex);
    caught.clear();
    previous = qInstallMessageHandler(catchMessage);
}

MessageLog::~MessageLog() { qInstallMessageHandler(previous); }

QStringList MessageLog::messages() const
{
    QMutexLocker lock(&mutex);
    return caught;
}
