#pragma once
// The update question as the benchmark shows it: the launcher's message box, shown until the
// window system has put it on the screen, then answered No. Shared by the floor's reference and
// the launcher's bench module, so that both pay for the same box.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QWindow>

inline bool showQuestionBriefly(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Yes | QMessageBox::No);
    box.show();
    QElapsedTimer waited;
    waited.start();
    while (!(box.windowHandle() && box.windowHandle()->isExposed()) && !waited.hasExpired(2000))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return false;
}
