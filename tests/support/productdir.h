#pragma once

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

// A throw-away product directory for process tests: the test launcher (the real main and core
// library with testhooks.cpp; with `windows`, the cross build there, run through Wine) with the
// built-in settings a test chooses, the recording stand-in product, the product's tables, and a
// clean environment (own home, configuration and runtime directory, offscreen platform) naming the
// launcher to run as L and the SHA-256 of its path as H. Paths and arguments are bytes:
// useBytePaths() makes the test program read every QString as Latin-1, so names that are not
// UTF-8 pass unchanged.
class ProductDir {
public:
    struct Reaper {
        void operator()(QProcess* process) const;
    };
    using Process = std::unique_ptr<QProcess, Reaper>; // ended when it goes

    explicit ProductDir(const QByteArray& subdir, const QByteArray& windows);

    bool isValid() const { return valid; }
    // Relative to the launcher's directory; "~/..." is in the home, whose configuration is
    // "~/config" and runtime directory "~/run".
    QByteArray path(const QByteArray& relative = QByteArray()) const;
    bool write(const QByteArray& file, const QByteArray& contents);
    // `settings` replace the test launcher's built-in settings (empty: its own), through its
    // settings hook: they are written to "~/settings.ini", which LAUNCHER_TEST_SETTINGS names.
    bool addLauncher(const QByteArray& settings = QByteArray(), const QByteArray& at = "launcher");
    bool addProduct(const QByteArray& at = "qpr.exe");

    // Starts `program` (the launcher) in `directory` (the temporary directory: not the launcher's).
    Process start(const QList<QByteArray>& arguments, const QByteArray& program = "launcher",
        const QByteArray& directory = QByteArray()) const;
    // The arguments of every start of a stand-in product here, once there are `expected`.
    QList<QList<QByteArray>> starts(int expected, int timeoutMs = 3000) const;
    // What the user's store of offered versions holds under `key` ("<locale>/<product>/version"):
    // its file, or on Windows the registry.
    QByteArray stored(const QByteArray& key) const;
    // Also true when an event loop has already taken in the process's end.
    static bool ended(QProcess& process, int timeoutMs)
    {
        return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
    }
    static void useBytePaths();

    QProcessEnvironment env;

private:
    QString native(const QByteArray& path) const; // as the launcher names it
    QByteArray wine(const QStringList& arguments) const;

    QTemporaryDir dir;
    QByteArray root;
    const QByteArray windows;
    bool valid = false;
};
