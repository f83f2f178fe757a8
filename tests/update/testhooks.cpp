// Compiled only into the test launcher: its download server and the user's answer to the update
// question come from the environment, and the browser is a file, so that process tests can run the
// real launcher without a person or a network. The shipped launcher has none of this.
//   LAUNCHER_TEST_UPDATE_URL  base address of the download server ("http://127.0.0.1:PORT/sw")
//   LAUNCHER_TEST_ANSWER      "yes" or "no" (default) for the update question
//   LAUNCHER_TEST_RECORD      file that gets a line per question and per opened address
#include "update/checkupdate.h"
#include "update/updateoffer.h"

#include <QDesktopServices>
#include <QFile>
#include <QObject>
#include <QUrl>

namespace {

void record(const QString& line)
{
    QFile file(qEnvironmentVariable("LAUNCHER_TEST_RECORD"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line.toUtf8() + '\n');
}

class Browser : public QObject {
    Q_OBJECT

public slots:
    void open(const QUrl& url) { record(QStringLiteral("open\t") + url.toString()); }
};

const bool installed = [] {
    const QString server = qEnvironmentVariable("LAUNCHER_TEST_UPDATE_URL");
    if (!server.isEmpty())
        launcher::setUpdateBaseUrl(server);
    launcher::setQuestionHandler([](const QString& title, const QString& text) {
        record(QStringLiteral("question\t%1\t%2").arg(title, text));
        return qEnvironmentVariable("LAUNCHER_TEST_ANSWER") == QLatin1String("yes")
            ? QMessageBox::Yes
            : QMessageBox::No;
    });
    // Lives as long as the process, and stays reachable after the desktop's registry of handlers
    // has gone at exit, so that the sanitizer build does not count it as leaked.
    static Browser* const browser = new Browser;
    for (const char* scheme : { "http", "https", "file" })
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), browser, "open");
    return true;
}();

} // namespace

#include "testhooks.moc"
