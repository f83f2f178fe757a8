#include "platformmessages.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace launcher {

namespace {

    QByteArray programName;

    void holdingHandler(QtMsgType type, const QMessageLogContext&, const QString&)
    {
        if (type != QtFatalMsg)
            return;
        std::fprintf(stderr, "%s: cannot connect to the window system; nothing was started\n",
            programName.constData());
        std::fflush(stderr);
        std::_Exit(2);
    }

} // namespace

void holdPlatformMessages(const char* program)
{
    programName = program ? QByteArray(program) : QByteArray("launcher");
    programName = programName.mid(programName.lastIndexOf('/') + 1);
#ifdef Q_OS_WIN
    programName = programName.mid(programName.lastIndexOf('\\') + 1);
#endif
    qInstallMessageHandler(holdingHandler);
}

void releasePlatformMessages() { qInstallMessageHandler(nullptr); }

} // namespace launcher
