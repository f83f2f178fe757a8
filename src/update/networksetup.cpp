#include "networksetup.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QStringList>

namespace launcher {

QNetworkAccessManager* newNetworkManager(QObject* parent)
{
    const QStringList pluginDirectories = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths(QStringList());
    auto* manager = new QNetworkAccessManager(parent);
    QCoreApplication::setLibraryPaths(pluginDirectories);
    return manager;
}

} // namespace launcher
