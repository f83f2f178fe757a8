// Compiled only into the test launcher: its download server and the user's answer to the update
// question come from the environment, and what it asks, opens and shows goes to a file, so that
// process tests run the real launcher without a person or a network. The shipped one has none.
//   LAUNCHER_TEST_UPDATE_URL  base address of the download server ("http://127.0.0.1:PORT/sw")
//   LAUNCHER_TEST_ANSWER      "yes" or "no" (default) to the update question
//   LAUNCHER_TEST_RECORD      gets "question\t<title>\t<text>", "open\t<address>", "window" lines
#include "update/checkupdate.h"
#include "update/updateoffer.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QUrl>

namespace {

void record(const QString& line)
{
    QFile file(qEnvironmentVariable("LAUNCHER_TEST_RECORD"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line.toUtf8() + '\n');
}

class Observer : public QObject {
    Q_OBJECT

public slots:
    void open(const QUrl& url) { record("open\t" + url.toString()); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show && object->inherits("launcher::Launcher"))
            record("window");
        return false;
    }
};

// Stays reachable after the desktop's registry of handlers has gone at exit, so that the
// sanitizer build does not count it as leaked.
Observer* const observer = new Observer;

const bool installed = [] {
    launcher::setUpdateBaseUrl(qEnvironmentVariable("LAUNCHER_TEST_UPDATE_URL"));
    launcher::setQuestionHandler([](const QString& title, const QString& text) {
        record("question\t" + title + '\t' + text);
        return qEnvironmentVariable("LAUNCHER_TEST_ANSWER") == "yes" ? QMessageBox::Yes
                                                                     : QMessageBox::No;
    });
    for (const char* scheme : { "http", "https", "file" })
        QDesktopServices::setUrlHandler(scheme, observer, "open");
    return true;
}();

void watchWindows() { QCoreApplication::instance()->installEventFilter(observer); }

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchWindows)

#include "testhooks.moc"
