#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A throw-away product directory for process-level tests: a copy of a launcher executable, a
// recording stand-in product, and a clean environment (own HOME and configuration, offscreen
// platform), so that the launcher's output can be checked exactly.
class ProductDir {
public:
    // A started process that is killed and reaped when it goes out of scope, so that a failing
    // test leaves nothing running.
    struct Reaper {
        void operator()(QProcess* process) const;
    };
    using Process = std::unique_ptr<QProcess, Reaper>;

    ProductDir();

    bool isValid() const { return valid; }
    QString path() const { return root; }
    QString filePath(const QString& relative) const;
    QString launcherPath() const { return filePath(QStringLiteral("launcher")); }

    // Copies a built launcher (by default the shipped one) to the given place under the directory.
    bool addLauncher(const QString& relative = QStringLiteral("launcher"),
        const QString& source = shippedLauncher());
    // Copies the recording stand-in to the given place (relative, or absolute).
    bool addRecorder(const QString& where = QStringLiteral("qpr.exe"));
    bool writeFile(const QString& relative, const QByteArray& contents);

    QProcessEnvironment environment() const { return env; }
    void setEnvironmentValue(const QString& name, const QString& value) { env.insert(name, value); }

    struct Result {
        bool finished = false;
        int exitCode = -1;
        QByteArray output; // standard output and error together

        // Empty when the run ended by itself with `expectedCode` and printed nothing;
        // otherwise what went wrong.
        QString problem(int expectedCode) const;
    };
    Result runLauncher(const QStringList& arguments, int timeoutMs = 15000,
        const QString& launcher = QStringLiteral("launcher")) const;
    // Starts a launcher without waiting.
    Process startLauncher(
        const QStringList& arguments, const QString& launcher = QStringLiteral("launcher")) const;

    // The argument lists of every start of a recorder under this directory (or `extra`), in no
    // particular order. Waits until at least `expected` starts are recorded or `timeoutMs` passes.
    QList<QStringList> recordedRuns(
        int expected, int timeoutMs = 5000, const QString& extra = QString()) const;
    // Waits long enough for a detached start to have happened, then counts.
    int settledRunCount(int settleMs = 600, const QString& extra = QString()) const;

    // True once the process has ended, waiting at most `timeoutMs`. Unlike waitForFinished alone,
    // also true for a process whose end an event loop has already taken in.
    static bool hasEnded(QProcess& process, int timeoutMs);

    static QString shippedLauncher();
    static QString recorderBinary();
    // Starts a program that holds the single-instance guard for `launcherPath` (as a running
    // launcher would) and returns once it does; null if it could not.
    static Process holdGuard(const QString& launcherPath);

private:
    QTemporaryDir dir;
    QString root;
    QProcessEnvironment env;
    bool valid = false;
};
