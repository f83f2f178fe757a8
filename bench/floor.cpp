// The floor, what every launcher start costs at the least: the application object on the same
// platform plugin, a detached start of the same stand-in product (its path relative to this
// program's directory), exit. With --font-teardown also the launcher's font teardown, a reference.
#include "app/fontteardown.h"

#include <QApplication>
#include <QProcess>
#include <optional>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    std::optional<launcher::FontTeardown> fontTeardown;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--font-teardown")))
        fontTeardown.emplace();
    if (arguments.size() < 2)
        return 2;
    QProcess::startDetached(
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + arguments.at(1),
        { QStringLiteral("?launcher=floor") });
    return 0;
}
