#include "launcher.h"

#include "app/starttarget.h"
#include "app/target.h"
#include "update/updateinfo.h"
#include "update/updateoffer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace launcher {

QPoint centredPosition(const QRect& frame, const QRect& available)
{
    // QRect's right() and bottom() are the inclusive edges. Built-in division truncates toward
    // zero; the 64-bit sums keep areas far from the origin from overflowing.
    const qint64 centreX = (qint64(available.left()) + available.right()) / 2;
    const qint64 centreY = (qint64(available.top()) + available.bottom()) / 2;
    qint64 x = centreX - (qint64(frame.right()) - frame.left()) / 2;
    qint64 y = centreY - (qint64(frame.bottom()) - frame.top()) / 2;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    return QPoint(int(x), int(y));
}

Launcher::Launcher(
    QWidget* parent, Qt::WindowFlags flags, Target* target, const UpdateInfo* updateInfo)
    : QDialog(parent, flags)
    , target(target)
    , updateInfo(updateInfo)
{
    ui.setupUi(this);
    setWindowTitle(QString());
    setResult(0);

    ui.titleLabel->setText(target->productName);
    ui.versionLabel->setText(tr("lic_product_version").arg(target->version));
    if (QPushButton* closeButton = ui.buttonBox->button(QDialogButtonBox::Close))
        closeButton->setText(tr("lic_quit_btn"));

    connect(ui.launchButton, &QPushButton::clicked, this, &Launcher::launchStandard);
    // close(), not reject(): the window ends through closeEvent like any other close.
    connect(ui.buttonBox, &QDialogButtonBox::rejected, this, &QWidget::close);
    // The label does not open links itself: whatever a link holds, only a web page reaches the
    // desktop's opener.
    ui.updateLinkLabel->setOpenExternalLinks(false);
    connect(ui.updateLinkLabel, &QLabel::linkActivated, this, &openWebPage);

    if (!updateInfo->updateUrl.isEmpty()) {
        // Both values come from the download server's unauthenticated answer: they are shown as
        // text, never read as markup (a link of their own, a picture that names a local file).
        // One multi-argument pass, so a "%" sequence in the address or the version text is
        // never expanded a second time.
        ui.updateLinkLabel->setText(
            QStringLiteral("<a href=\"%1\">%2</a>")
                .arg(updateInfo->updateUrl.toHtmlEscaped(),
                    tr("lic_update_link").arg(updateInfo->newVersion.toHtmlEscaped())));
    } else {
        ui.updateLinkLabel->hide();
    }

    update();
}

Launcher::~Launcher() = default;

void Launcher::launchStandard()
{
    // Clicks and key presses that arrive together are all delivered before the window's loop
    // ends; the product is started once per window.
    if (result() == 1)
        return;
    startTarget(*target);
    setResult(1);
    close();
}

void Launcher::update()
{
    // Resolved exactly as startTarget() resolves it, so the button is offered only for a file
    // that a click would start.
    ui.launchFrame->setVisible(isTargetPresent(*target));
    ui.launchButton->setVisible(true);

    // Asks for a height below what the contents need; the layout's minimum wins, so the window
    // ends up as short as its contents allow.
    QRect rect = geometry();
    rect.setHeight(100);
    setGeometry(rect);

    activateWindow();
}

void Launcher::showEvent(QShowEvent* event)
{
    // The available area of the primary screen, without task bars and docks.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    move(centredPosition(frameGeometry(), available));
    QDialog::showEvent(event);
}

void Launcher::closeEvent(QCloseEvent* event)
{
    // Not QDialog::closeEvent: that would reject() and emit rejected() and finished(); closing
    // leaves the result as the launch button (or nothing) set it.
    QWidget::closeEvent(event);
}

} // namespace launcher
