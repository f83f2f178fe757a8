// The floor of the benchmark: what any launcher start costs at the least. It creates the
// application object on the same platform plugin as the launcher and starts the same stand-in
// product detached, then ends; everything a launcher does beyond this is its own cost.
//
//   bench_floor <product path relative to this program's directory>
//
// Built a second time as bench_floor_fonts, with the launcher's font teardown: the floor without
// the font configuration its teardown loads for nothing, a reference for how much of the
// launcher's lead over the floor comes from that alone.
#include <QApplication>
#include <QProcess>
#include <QStringList>

#ifdef BENCH_FLOOR_FONT_TEARDOWN
#include "app/fontteardown.h"
#endif

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
#ifdef BENCH_FLOOR_FONT_TEARDOWN
    const launcher::FontTeardown fontTeardown;
#endif
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2)
        return 2;
    QProcess::startDetached(
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + arguments.at(1),
        QStringList { QStringLiteral("?launcher=floor") });
    return 0;
}
