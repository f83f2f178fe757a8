#pragma once

#include "ui_launcher.h"

#include <QDialog>
#include <QPoint>
#include <QRect>

namespace launcher {

class Target;
struct UpdateInfo;

// Where a window with the given frame goes so that it sits in the middle of the available area:
// edges are inclusive, the sums are taken in 64 bits and halved with truncation toward zero, and
// each coordinate that would be negative becomes 0, so the title bar stays reachable.
QPoint centredPosition(const QRect& frame, const QRect& available);

// The window shown with "-f": the product's pictures, name, installed version and, when a newer
// version was reported, a link to its download page; a launch button while the product's
// executable is present, and a Close button. Ends with 1 after the launch button, 0 otherwise.
class Launcher : public QDialog {
    Q_OBJECT

public:
    // Both pointers are borrowed and must outlive the window.
    Launcher(QWidget* parent, Qt::WindowFlags flags, Target* target, const UpdateInfo* updateInfo);
    ~Launcher() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void launchStandard();
    void update();

private:
    // Sets the texts that name the product, its versions and the launch, each cut short as far as
    // the window needs to fit the screen.
    void fitTexts();

    Ui::LauncherClass ui;
    Target* target;
    const UpdateInfo* updateInfo;
};

} // namespace launcher
