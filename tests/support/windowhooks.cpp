// Compiled only into the test build's window module (or, where the window is built in, the test
// launcher): the user's answer to the update question and what the user does in the window come
// from the environment, and what it asks, opens and shows goes to a file (docs/testing.md).
#include "app/windowsystem.h"
#include "update/updateoffer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace {

// One line of the record, its fields separated by tabs.
void record(const QStringList& fields)
{
    QFile file(qEnvironmentVariable("LAUNCHER_TEST_RECORD"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(fields.join('\t').toUtf8() + '\n');
}

// Where the window is: "centred" when all of it (its buttons too) lies in the screen's available
// area with as much room left as right and above as below; otherwise its frame and the area.
QString placement(const QWidget* window)
{
    const QRect frame = window->frameGeometry();
    const QRect area = window->screen()->availableGeometry();
    bool inside = area.contains(frame);
    for (const QPushButton* button : window->findChildren<QPushButton*>())
        inside = inside
            && (!button->isVisibleTo(window)
                || area.contains(QRect(button->mapToGlobal(QPoint()), button->size())));
    const int horizontal = (frame.left() - area.left()) - (area.right() - frame.right());
    const int vertical = (frame.top() - area.top()) - (area.bottom() - frame.bottom());
    if (inside && qAbs(horizontal) <= 1 && qAbs(vertical) <= 1)
        return "centred";
    return QStringLiteral("off: %1 wide at %2 in %3 at %4")
        .arg(frame.width())
        .arg(frame.x())
        .arg(area.width())
        .arg(area.x());
}

void recordWindow(const QDialog* window)
{
    const auto text = [&](const char* name) { return window->findChild<QLabel*>(name)->text(); };
    QTextDocument link;
    link.setHtml(text("updateLinkLabel"));
    QStringList addresses;
    for (QTextBlock block = link.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                addresses << it.fragment().charFormat().anchorHref();
    addresses.removeDuplicates();
    const bool linkShown = window->findChild<QLabel*>("updateLinkLabel")->isVisibleTo(window);
    record({ "window", text("titleLabel"), text("versionLabel"),
        linkShown ? link.toPlainText() : "", addresses.join(' '),
        window->findChild<QWidget*>("launchFrame")->isVisibleTo(window) ? "launch" : "",
        placement(window) });
}

bool asked(const char* action)
{
    return qEnvironmentVariable("LAUNCHER_TEST_WINDOW").split(' ').contains(action);
}

QString direction(const QWidget* widget)
{
    return widget->layoutDirection() == Qt::RightToLeft ? "right-to-left" : "left-to-right";
}

// How the window is drawn: its direction, device pixel ratio, size in device-independent pixels,
// its header's widgets from left to right and each picture's size in device pixels as drawn.
void recordLooks(const QDialog* window)
{
    QList<QWidget*> header;
    for (const char* name : { "appImageLabel", "titleLabel", "label_2" })
        header << window->findChild<QWidget*>(name);
    std::sort(header.begin(), header.end(), [&](QWidget* a, QWidget* b) {
        return a->mapTo(window, QPoint()).x() < b->mapTo(window, QPoint()).x();
    });
    QStringList order, pictures;
    for (QWidget* widget : header) {
        order << widget->objectName();
        const QPixmap drawn = widget->grab();
        if (widget->objectName() != "titleLabel")
            pictures << QStringLiteral("%1x%2").arg(drawn.width()).arg(drawn.height());
    }
    record({ "looks", direction(window), QString::number(window->devicePixelRatioF()),
        QStringLiteral("%1x%2").arg(window->width()).arg(window->height()), order.join(' '),
        pictures.join(' ') });
}

class Observer : public QObject {
    Q_OBJECT

public slots:
    void open(const QUrl& url) { record({ "open", url.toString() }); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::Show || !object->inherits("launcher::Launcher"))
            return false;
        auto* window = static_cast<QDialog*>(object);
        // Once the window is shown and placed.
        QTimer::singleShot(0, window, [window] {
            recordWindow(window);
            if (asked("looks"))
                recordLooks(window);
            for (const QString& action :
                qEnvironmentVariable("LAUNCHER_TEST_WINDOW").split(' ', Qt::SkipEmptyParts)) {
                if (action == "launch")
                    QMetaObject::invokeMethod(window->findChild<QPushButton*>("launchButton"),
                        "click", Qt::QueuedConnection);
                else if (action == "link")
                    QTest::mouseClick(
                        window->findChild<QLabel*>("updateLinkLabel"), Qt::LeftButton);
                else if (action == "button")
                    window->findChild<QDialogButtonBox*>()
                        ->button(QDialogButtonBox::Close)
                        ->click();
                else if (action == "close")
                    window->windowHandle()->close();
            }
        });
        return false;
    }
};

// Stays reachable after the desktop's registry of handlers has gone at exit, so that the
// sanitizer build does not count it as leaked.
Observer* const observer = new Observer;

const bool installed = [] {
    launcher::setQuestionHandler([](const QString& title, const QString& text) {
        // The texts of the box's buttons too, as the translator gives them to it.
        QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Yes | QMessageBox::No);
        record({ "question", title, text, box.button(QMessageBox::Yes)->text(),
            box.button(QMessageBox::No)->text() });
        if (asked("looks")) {
            // Laid out as shown, without showing it.
            box.layout()->activate();
            box.findChild<QDialogButtonBox*>()->layout()->activate();
            const bool yesFirst
                = box.button(QMessageBox::Yes)->x() < box.button(QMessageBox::No)->x();
            record({ "looks", direction(&box), QString::number(box.devicePixelRatioF()),
                yesFirst ? "yes no" : "no yes" });
        }
        // "box": the person answers the launcher's own box.
        if (qEnvironmentVariable("LAUNCHER_TEST_ANSWER") == "box")
            return launcherWindowSystem()->askYesNo(title, text);
        return qEnvironmentVariable("LAUNCHER_TEST_ANSWER") == "yes";
    });
    // "desktop": pages go to the desktop's own opener, as in the shipped launcher.
    if (qEnvironmentVariable("LAUNCHER_TEST_OPENER") != "desktop")
        for (const char* scheme : { "http", "https", "file" })
            QDesktopServices::setUrlHandler(scheme, observer, "open");
    return true;
}();

void watchWindows() { QCoreApplication::instance()->installEventFilter(observer); }

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchWindows)

#include "windowhooks.moc"
