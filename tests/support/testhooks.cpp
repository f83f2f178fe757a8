// Compiled only into the test launcher: its download server, the user's answer to the update
// question and what the user does in the window come from the environment, and what it asks,
// opens and shows goes to a file, so that process tests run the real launcher without a person
// or a network. The shipped launcher has none of this.
//   LAUNCHER_TEST_SETTINGS    the built-in settings: an INI file read in place of the compiled-in
//   LAUNCHER_TEST_UPDATE_URL  base address of the download server ("http://127.0.0.1:PORT/sw")
//   LAUNCHER_TEST_CA          a certificate authority trusted besides the system's (PEM file)
//   LAUNCHER_TEST_ANSWER      "yes" or "no" (default) to the update question
//   LAUNCHER_TEST_OPENER      "desktop": pages are opened by the desktop's opener, not recorded
//   LAUNCHER_TEST_WINDOW      done in the window once it shows: "launch" (a click on the launch
//                             button, queued: several arrive together), "link" (a click on the
//                             link), "button" (Close), "escape", "close" (by the window system)
//   LAUNCHER_TEST_RECORD      gets the lines "question <title> <text> <Yes> <No>", "open
//                             <address>" and "window <title> <version> <link as shown> <its
//                             addresses> <launch or nothing> <placement>", their fields
//                             separated by tabs; the placement is "centred" when all of the
//                             window lies in the screen's available area, in its middle
#include "common/settingsfile.h"
#include "update/checkupdate.h"
#include "update/updateoffer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSslConfiguration>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace {

void record(const QString& line)
{
    QFile file(qEnvironmentVariable("LAUNCHER_TEST_RECORD"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line.toUtf8() + '\n');
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
    return QStringLiteral("off: %1,%2 %3x%4 in %5,%6 %7x%8")
        .arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())
        .arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
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
    record(QStringList { "window", text("titleLabel"), text("versionLabel"),
        linkShown ? link.toPlainText() : "", addresses.join(' '),
        window->findChild<QWidget*>("launchFrame")->isVisibleTo(window) ? "launch" : "",
        placement(window) }
               .join('\t'));
}

class Observer : public QObject {
    Q_OBJECT

public slots:
    void open(const QUrl& url) { record("open\t" + url.toString()); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::Show || !object->inherits("launcher::Launcher"))
            return false;
        auto* window = static_cast<QDialog*>(object);
        // Once the window is shown and placed.
        QTimer::singleShot(0, window, [window] {
            recordWindow(window);
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
                else if (action == "escape")
                    QTest::keyClick(window, Qt::Key_Escape);
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
    launcher::setBuiltInSettingsPath(qEnvironmentVariable("LAUNCHER_TEST_SETTINGS"));
    launcher::setUpdateBaseUrl(qEnvironmentVariable("LAUNCHER_TEST_UPDATE_URL"));
#ifndef QT_NO_SSL // a Qt built without TLS (the Windows cross build) has none of it
    if (qEnvironmentVariableIsSet("LAUNCHER_TEST_CA")) {
        QSslConfiguration trusted = QSslConfiguration::defaultConfiguration();
        trusted.addCaCertificates(qEnvironmentVariable("LAUNCHER_TEST_CA"));
        QSslConfiguration::setDefaultConfiguration(trusted);
    }
#endif
    launcher::setQuestionHandler([](const QString& title, const QString& text) {
        // The texts of the box's buttons too, as the translator gives them to it.
        QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Yes | QMessageBox::No);
        record(QStringList { "question", title, text, box.button(QMessageBox::Yes)->text(),
            box.button(QMessageBox::No)->text() }
                   .join('\t'));
        return qEnvironmentVariable("LAUNCHER_TEST_ANSWER") == "yes" ? QMessageBox::Yes
                                                                     : QMessageBox::No;
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

#include "testhooks.moc"
