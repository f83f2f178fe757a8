#include "messagefilter.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace launcher {

namespace {

    QByteArray programName;
    bool connecting = false;
    QtMessageHandler qtHandler = nullptr;

    bool isOwnMessage(const QString& message)
    {
        return message.startsWith(QLatin1String("CheckUpdate reply error "))
            || message.startsWith(QLatin1String("QString::arg: Argument missing"));
    }

    void filter(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtFatalMsg && connecting) {
            std::fprintf(stderr, "%s: cannot connect to the window system; nothing was started\n",
                programName.constData());
            std::fflush(stderr);
            std::_Exit(2);
        }
        if (type == QtFatalMsg || isOwnMessage(message))
            qtHandler(type, context, message);
    }

} // namespace

void installMessageFilter(const char* program)
{
    programName = program ? QByteArray(program) : QByteArray("launcher");
    programName = programName.mid(programName.lastIndexOf('/') + 1);
#ifdef Q_OS_WIN
    programName = programName.mid(programName.lastIndexOf('\\') + 1);
#endif
    qtHandler = qInstallMessageHandler(filter);
}

void setConnectingToWindowSystem(bool starting) { connecting = starting; }

} // namespace launcher
