// The floor of the benchmark: what any launcher start costs at the least. It creates the
// application object on the same platform plugin as the launcher and starts the same stand-in
// product detached, then ends; everything a launcher does beyond this is its own cost.
//
//   bench_floor <product path relative to this program's directory>
#include <QApplication>
#include <QProcess>
#include <QStringList>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2)
        return 2;
    QProcess::startDetached(
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + arguments.at(1),
        QStringList { QStringLiteral("?launcher=floor") });
    return 0;
}
