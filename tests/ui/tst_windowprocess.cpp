// The real launcher started with "-f" in a throw-away product directory: the window keeps the
// process, and with it the single-instance guard, alive until the window goes away.
#include "support/productdir.h"

#include <QRegularExpression>
#include <QTest>

#include <signal.h>

class tst_WindowProcess : public QObject {
    Q_OBJECT

private slots:
    void windowHoldsTheGuard();
};

// Lines that Qt itself writes on the offscreen platform and for texts that no string table of the
// throw-away directory answers; anything else would be the launcher's own output.
static QString unexpectedOutput(const QByteArray& output)
{
    static const QRegularExpression qtLine(QStringLiteral(
        "^(This plugin does not support [a-zA-Z]+\\(\\)|QString::arg: Argument missing: .*)$"));
    QStringList unexpected;
    for (const QString& line : QString::fromLocal8Bit(output).split('\n', Qt::SkipEmptyParts)) {
        if (!qtLine.match(line).hasMatch())
            unexpected << line;
    }
    return unexpected.join('\n');
}

void tst_WindowProcess::windowHoldsTheGuard()
{
    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addLauncher());
    QVERIFY(product.addRecorder());

    const ProductDir::Process window = product.startLauncher({ "-f" });
    QVERIFY(window->waitForStarted(5000));
    // Nothing is shown offscreen; a window that stays open keeps the process running.
    QVERIFY2(!ProductDir::hasEnded(*window, 2000),
        qPrintable(QString("the -f launcher ended with exit code %1").arg(window->exitCode())));

    const ProductDir::Result second = product.runLauncher({});
    const QString problem = second.problem(0);
    QVERIFY2(problem.isEmpty(), qPrintable("second launcher: " + problem));
    QCOMPARE(product.settledRunCount(), 0);
    QCOMPARE(window->state(), QProcess::Running);

    ::kill(pid_t(window->processId()), SIGKILL);
    QVERIFY(ProductDir::hasEnded(*window, 5000));
    QCOMPARE(window->exitStatus(), QProcess::CrashExit);
    const QString stray = unexpectedOutput(window->readAll());
    QVERIFY2(stray.isEmpty(), qPrintable("the -f launcher wrote: " + stray));

    const ProductDir::Result next = product.runLauncher({});
    QVERIFY2(next.problem(1).isEmpty(), qPrintable("after the kill: " + next.problem(1)));
    QCOMPARE(product.recordedRuns(1).size(), 1);
    QCOMPARE(product.settledRunCount(), 1);
}

QTEST_GUILESS_MAIN(tst_WindowProcess)
#include "tst_windowprocess.moc"
