#include "networksetup.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QStringList>

namespace launcher {

void setUpNetworkWithoutBearerPlugins()
{
    // The bearer plugins' loader looks at the plugin directories once, when it is created with
    // the configuration manager, and the manager loads what it found then and never again. Both
    // are created by the first network access manager of the process; the manager itself is
    // only needed for that.
    const QStringList pluginDirectories = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths(QStringList());
    {
        QNetworkAccessManager first;
    }
    QCoreApplication::setLibraryPaths(pluginDirectories);
}

} // namespace launcher
