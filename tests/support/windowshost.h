#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// What Windows rows run on: Wine, with a prefix of its own made once, on an X server of its own
// (Xvfb), and the cross build of scripts/windows/build.sh: check/launcher.exe (the launcher with
// the test hooks), check/qpr.exe (a stand-in product that records its arguments) and bin/resources.
class WindowsHost {
public:
    explicit WindowsHost(const QByteArray& build);
    ~WindowsHost();

    bool isValid() const { return problem().isEmpty(); }
    QByteArray problem() const { return why; }
    QByteArray file(const QByteArray& relative) const { return build + '/' + relative; }
    // The environment Wine needs, on top of a row's.
    void addTo(QProcessEnvironment& env) const;
    // A Unix path as the Windows program names it.
    static QString windowsPath(const QByteArray& path);
    // What the registry holds under HKEY_CURRENT_USER\Software\Nimbrel\<key> (a "/" path ending
    // in the value's name), or nothing. forget() removes all of it, before each row.
    QByteArray registryValue(const QByteArray& key) const;
    void forget() const;
    QByteArray wine(const QStringList& arguments) const;

private:
    QByteArray build;
    QByteArray why;
    QTemporaryDir prefix;
    QByteArray display;
    QProcess xServer;
};
