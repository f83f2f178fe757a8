// Compiled only into the test launcher: its built-in settings, its download server, its key, hosts
// and administrator's switch come from the environment, so that process tests run the real
// launcher without a network (docs/testing.md lists the variables). What the user answers and does
// in the window is in windowhooks.cpp, with the window. The shipped launcher has none of this.
#include "common/settingsfile.h"
#include "update/answersignature.h"
#include "update/checkupdate.h"
#include "update/updateoffer.h"
#include "update/updatepolicy.h"

#include <QCoreApplication>
#include <QSslConfiguration>

namespace {

// Once the application object exists: Qt 6 loads its TLS backend as a plugin, which needs it.
void trustTestAuthority()
{
#ifndef QT_NO_SSL // a Qt built without TLS has none of it
    if (qEnvironmentVariableIsSet("LAUNCHER_TEST_CA")) {
        QSslConfiguration trusted = QSslConfiguration::defaultConfiguration();
        trusted.addCaCertificates(qEnvironmentVariable("LAUNCHER_TEST_CA"));
        QSslConfiguration::setDefaultConfiguration(trusted);
    }
#endif
}
Q_COREAPP_STARTUP_FUNCTION(trustTestAuthority)

const bool installed = [] {
    launcher::setBuiltInSettingsPath(qEnvironmentVariable("LAUNCHER_TEST_SETTINGS"));
    launcher::setUpdateBaseUrl(qEnvironmentVariable("LAUNCHER_TEST_UPDATE_URL"));
    launcher::setUpdatePublicKey(qgetenv("LAUNCHER_TEST_PUBLIC_KEY"));
    launcher::setDownloadHosts(qEnvironmentVariable("LAUNCHER_TEST_DOWNLOAD_HOSTS"));
    launcher::setUpdatePolicyLocation(qEnvironmentVariable("LAUNCHER_TEST_POLICY"));
    return true;
}();

} // namespace
