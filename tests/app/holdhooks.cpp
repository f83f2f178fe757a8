// Compiled only into the race-test launcher. Its download server comes from the environment, and
// its update question stays "open" for as long as a hold file exists, the way a person may leave
// it open: while it is, this launcher holds its guard, so a test can start many launchers at once
// and see exactly which one got through, whatever the machine's load.
//   LAUNCHER_TEST_UPDATE_URL  base address of the download server ("http://127.0.0.1:PORT/sw")
//   LAUNCHER_TEST_HOLD        the question is answered (No) once this file is gone
#include "update/checkupdate.h"
#include "update/updateoffer.h"

#include <QFileInfo>
#include <QThread>

namespace {

const bool installed = [] {
    const QString server = qEnvironmentVariable("LAUNCHER_TEST_UPDATE_URL");
    if (!server.isEmpty())
        launcher::setUpdateBaseUrl(server);
    launcher::setQuestionHandler([](const QString&, const QString&) {
        const QString hold = qEnvironmentVariable("LAUNCHER_TEST_HOLD");
        // Bounded, so that a test that dies leaves no launcher behind for long.
        for (int i = 0; i < 6000 && !hold.isEmpty() && QFileInfo::exists(hold); ++i)
            QThread::msleep(10);
        return QMessageBox::No;
    });
    return true;
}();

} // namespace
