// The launch sequence's "-f" path in-process: the window it builds, how it runs it, and its result
// as the sequence's result.
#include "app/run.h"
#include "app/target.h"
#include "support/productdir.h"
#include "ui/launcher.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using launcher::Launcher;
using launcher::Target;

class tst_WindowPath : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void windowResult_data();
    void windowResult();
};

void tst_WindowPath::cleanup()
{
    QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a top-level window was left over");
}

void tst_WindowPath::windowResult_data()
{
    QTest::addColumn<bool>("withName"); // false: the name was cleared, as "-s" does
    QTest::addColumn<bool>("launch"); // press the launch button rather than Close
    QTest::addColumn<int>("expected");

    QTest::newRow("launch button") << true << true << 1;
    QTest::newRow("Close button") << true << false << 0;
    QTest::newRow("-f -s: no launch frame, Close") << false << false << 0;
}

void tst_WindowPath::windowResult()
{
    QFETCH(bool, withName);
    QFETCH(bool, launch);
    QFETCH(int, expected);

    ProductDir product;
    QVERIFY(product.isValid());
    QVERIFY(product.addRecorder());
    QTemporaryDir dir;
    QSettings settings(dir.filePath("empty.ini"), QSettings::IniFormat);
    Target target(settings);
    target.productName = QStringLiteral("Pellam Author");
    target.version = QStringLiteral("4.10"); // no locale: no update request is made
    if (withName)
        target.name = product.filePath("qpr.exe");

    // Acts once the sequence's window is up and modal; gives up on a window that never ends.
    Launcher* seen = nullptr;
    Qt::WindowFlags flags;
    bool modal = false;
    bool frameShown = false;
    QTimer poll;
    poll.setInterval(20);
    int waited = 0;
    connect(&poll, &QTimer::timeout, this, [&] {
        Launcher* window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* candidate = qobject_cast<Launcher*>(widget))
                window = candidate;
        }
        if (waited++ > 500) {
            poll.stop();
            if (window)
                window->done(99);
            return;
        }
        if (!window || !window->isVisible() || seen)
            return;
        seen = window;
        flags = window->windowFlags();
        modal = QApplication::activeModalWidget() == window;
        frameShown = window->findChild<QFrame*>("launchFrame")->isVisible();
        QPushButton* button = launch
            ? window->findChild<QPushButton*>("launchButton")
            : window->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Close);
        QTest::mouseClick(button, Qt::LeftButton);
    });
    poll.start();

    const int result = launcher::run(target, QString(), true);
    poll.stop();
    QVERIFY2(seen, "the launch sequence showed no launcher window");
    QCOMPARE(result, expected);
    QCOMPARE(flags,
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::MSWindowsFixedSizeDialogHint);
    QVERIFY2(modal, "the window did not run modally");
    QCOMPARE(frameShown, withName);
    QCOMPARE(product.settledRunCount(), expected);
}

QTEST_MAIN(tst_WindowPath)
#include "tst_windowpath.moc"
