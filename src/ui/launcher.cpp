#include "launcher.h"

#include "linkaccessible.h"

#include "app/starttarget.h"
#include "app/target.h"
#include "update/updateinfo.h"
#include "update/updateoffer.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextDocument>
#include <QTextDocumentFragment>

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
    // Before the form: a label's description is made, and kept, as soon as its text is set.
    static const bool linkDescribed = (QAccessible::installFactory(&LinkAccessible::factory), true);
    Q_UNUSED(linkDescribed)
    ui.setupUi(this);
    setWindowTitle(QString());
    setResult(0);

    if (QPushButton* closeButton = ui.buttonBox->button(QDialogButtonBox::Close))
        closeButton->setText(tr("lic_quit_btn"));

    connect(ui.launchButton, &QPushButton::clicked, this, &Launcher::launchStandard);
    // close(), not reject(): the window ends through closeEvent like any other close.
    connect(ui.buttonBox, &QDialogButtonBox::rejected, this, &QWidget::close);
    // The label does not open links itself: whatever a link holds, only a web page reaches the
    // desktop's opener.
    ui.updateLinkLabel->setOpenExternalLinks(false);
    connect(ui.updateLinkLabel, &QLabel::linkActivated, this, &openWebPage);

    // For screen readers and the keyboard: the window (its title is empty) and the pictures, the
    // product's artwork, are named after the product, the link is a link that Tab reaches and
    // Return opens, and Tab goes through the controls in reading order.
    setAccessibleName(target->productName);
    ui.appImageLabel->setAccessibleName(target->productName);
    ui.label_2->setAccessibleName(target->productName);
    ui.updateLinkLabel->setTextInteractionFlags(
        Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    // Tab into the link selects it at once, so that Return opens it (the label would first take
    // the focus with nothing selected).
    ui.updateLinkLabel->installEventFilter(this);
    setTabOrder(ui.updateLinkLabel, ui.launchButton);
    if (QPushButton* closeButton = ui.buttonBox->button(QDialogButtonBox::Close))
        setTabOrder(ui.launchButton, closeButton);

    if (updateInfo->updateUrl.isEmpty())
        ui.updateLinkLabel->hide();
    fitTexts();

    update();
}

void Launcher::fitTexts()
{
    const QString title = target->productName;
    const QString version = tr("lic_product_version").arg(target->version);
    const QString linkText = tr("lic_update_link");
    const QString launch = ui.launchButton->text();
    // Each text at most `width` pixels wide, cut short with an ellipsis beyond. Texts of the
    // product's own that are markup are left as they are; of the link's text, which the tables
    // may write as markup too, only the reported version is cut.
    const auto setTexts = [&](int width) {
        const auto fit = [](const QWidget* widget, const QString& text, int width) {
            return Qt::mightBeRichText(text)
                ? text
                : widget->fontMetrics().elidedText(text, Qt::ElideRight, qMax(width, 0));
        };
        ui.titleLabel->setText(fit(ui.titleLabel, title, width));
        ui.versionLabel->setText(fit(ui.versionLabel, version, width));
        if (!updateInfo->updateUrl.isEmpty()) {
            const QFontMetrics metrics = ui.updateLinkLabel->fontMetrics();
            const int rest = metrics.horizontalAdvance(
                QTextDocumentFragment::fromHtml(linkText.arg(QString())).toPlainText());
            const QString newVersion
                = metrics.elidedText(updateInfo->newVersion, Qt::ElideRight, qMax(width - rest, 0));
            // Both values come from the download server's unauthenticated answer: they are
            // shown as text, never read as markup (a link of their own, a picture that names a
            // local file). One multi-argument pass, so a "%" sequence in the address or the text
            // is never expanded a second time.
            ui.updateLinkLabel->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                                            .arg(updateInfo->updateUrl.toHtmlEscaped(),
                                                linkText.arg(newVersion.toHtmlEscaped())));
        }
        ui.launchButton->setText(fit(ui.launchButton, launch, width));
    };
    // The window's width as its layout now wants it: every cached size hint is dropped first.
    const auto neededWidth = [this] {
        for (QWidget* widget : findChildren<QWidget*>())
            widget->updateGeometry();
        for (QLayout* layout : findChildren<QLayout*>())
            layout->invalidate();
        return minimumSizeHint().width();
    };

    // The window is as wide as its widest text needs, and a reported version may be of any
    // length: the texts give up what the window would need beyond the screen's available width
    // (with room for the window's frame), so that all of it, its buttons too, stays on the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int available = screen ? screen->availableGeometry().width() - 32 : QWIDGETSIZE_MAX;
    int width = available;
    setTexts(width);
    for (int pass = 0; pass < 4; ++pass) {
        const int overflow = neededWidth() - available;
        if (overflow <= 0)
            break;
        width -= overflow;
        setTexts(width);
    }
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
    const bool present = isTargetPresent(*target);
    ui.launchFrame->setVisible(present);
    ui.launchButton->setVisible(true);
    // Return presses the launch button, or Close without it; the focus starts there.
    QPushButton* first = present ? ui.launchButton : ui.buttonBox->button(QDialogButtonBox::Close);
    if (first) {
        first->setDefault(true);
        first->setFocus();
    }

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

bool Launcher::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui.updateLinkLabel && event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            // Through the label's own Tab handling, which moves between its links.
            QKeyEvent key(QEvent::KeyPress,
                reason == Qt::TabFocusReason ? Qt::Key_Tab : Qt::Key_Backtab, Qt::NoModifier);
            QCoreApplication::sendEvent(ui.updateLinkLabel, &key);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Launcher::closeEvent(QCloseEvent* event)
{
    // Not QDialog::closeEvent: that would reject() and emit rejected() and finished(); closing
    // leaves the result as the launch button (or nothing) set it.
    QWidget::closeEvent(event);
}

} // namespace launcher
