// The floor, what every launcher start costs at the least: the application object on the same
// platform plugin, a detached start of the same stand-in product (its path relative to this
// program's directory), exit. With --font-teardown also the launcher's font teardown, and with
// --question the update question (question.h) before the start: references. Built with
// BENCH_CORE_ONLY, a core application object instead: what a start needs of Qt without a window.
#include "app/fontteardown.h"

#ifdef BENCH_CORE_ONLY
#include <QCoreApplication>
#else
#include "question.h"
#include <QApplication>
#endif
#include <QProcess>
#include <optional>

int main(int argc, char* argv[])
{
#ifdef BENCH_CORE_ONLY
    QCoreApplication application(argc, argv);
#else
    QApplication application(argc, argv);
#endif
    std::optional<launcher::FontTeardown> fontTeardown;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--font-teardown")))
        fontTeardown.emplace();
    if (arguments.size() < 2)
        return 2;
#ifndef BENCH_CORE_ONLY
    if (arguments.contains(QStringLiteral("--question")))
        showQuestionBriefly(QStringLiteral("Product"), QStringLiteral("A newer version"));
#endif
    QProcess::startDetached(
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + arguments.at(1),
        { QStringLiteral("?launcher=floor") });
    return 0;
}
