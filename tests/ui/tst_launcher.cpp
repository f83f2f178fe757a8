// Where the launcher window goes on the screen; what it shows is in tests/app/scenarios/window.txt.
#include "ui/launcher.h"

#include <QTest>

class tst_Launcher : public QObject {
    Q_OBJECT

private slots:
    void centring_data();
    void centring();
};

void tst_Launcher::centring_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("position");
    QTest::newRow("even") << QRect(7, 9, 312, 140) << QRect(0, 0, 1920, 1040) << QPoint(804, 450);
    QTest::newRow("odd") << QRect(0, 0, 313, 141) << QRect(0, 0, 1920, 1040) << QPoint(803, 449);
    QTest::newRow("larger than the area")
        << QRect(0, 0, 1000, 700) << QRect(0, 0, 800, 560) << QPoint(0, 0);
    QTest::newRow("area left of the origin")
        << QRect(0, 0, 100, 100) << QRect(-1920, 40, 1920, 1000) << QPoint(0, 490);
    QTest::newRow("far from the origin")
        << QRect(0, 0, 2, 2) << QRect(2147483000, 0, 600, 2) << QPoint(2147483299, 0);
}

void tst_Launcher::centring()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, available);
    QTEST(launcher::centredPosition(frame, available), "position");
}

QTEST_APPLESS_MAIN(tst_Launcher)
#include "tst_launcher.moc"
