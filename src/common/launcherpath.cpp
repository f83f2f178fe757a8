#include "launcherpath.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QDir>

#include <vector>
#include <windows.h>
#endif

#ifdef Q_OS_LINUX
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace launcher {

namespace {

    struct Location {
        bool located = false;
        QByteArray filePath;
        QString directory;
        int descriptor = -1;
    };

    Location& location()
    {
        static Location where;
        return where;
    }

#ifdef Q_OS_LINUX
    bool sameFile(const struct stat& a, const struct stat& b)
    {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

    // The running file's directory when /proc/self/exe cannot be read (its path is too long):
    // argv[0]'s directory, relative to the working directory (or as the PATH search found it),
    // provided it holds the running file. Its full path is spelled out by getcwd(), which walks
    // up the tree where the name exceeds the system's limit. Returns an open descriptor.
    int openOwnDirectory(const char* argv0, QByteArray& path)
    {
        struct stat running;
        if (!argv0 || ::stat("/proc/self/exe", &running) != 0)
            return -1;
        const QByteArray command(argv0);
        QList<QByteArray> candidates;
        if (command.contains('/')) {
            candidates << command.left(command.lastIndexOf('/') + 1);
        } else {
            for (const QByteArray& entry : QByteArray(::getenv("PATH")).split(':'))
                candidates << (entry.isEmpty() ? QByteArray("./") : entry + '/');
        }
        const QByteArray name = command.mid(command.lastIndexOf('/') + 1);
        for (const QByteArray& candidate : candidates) {
            const int directory = ::open(candidate.isEmpty() ? "." : candidate.constData(),
                O_PATH | O_DIRECTORY | O_CLOEXEC);
            struct stat found;
            if (directory < 0)
                continue;
            if (::fstatat(directory, name.constData(), &found, 0) == 0
                && sameFile(found, running)) {
                const int here = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
                char* spelled = nullptr;
                if (here >= 0 && ::fchdir(directory) == 0) {
                    spelled = ::getcwd(nullptr, 0);
                    (void)!::fchdir(here);
                }
                if (here >= 0)
                    ::close(here);
                if (spelled) {
                    path = QByteArray(spelled) + '/' + name;
                    std::free(spelled);
                    return directory;
                }
            }
            ::close(directory);
        }
        return -1;
    }
#endif

} // namespace

void locateLauncher(const char* argv0)
{
    Location& where = location();
    if (where.located)
        return;
    where.located = true;
#ifdef Q_OS_LINUX
    // The same link Qt reads, without the decoding.
    QByteArray path(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), size_t(path.size()));
    if (length > 0 && length < path.size()) {
        path.truncate(int(length));
        where.filePath = path;
    } else {
        where.descriptor = openOwnDirectory(argv0, where.filePath);
    }
    const QByteArray directory = where.filePath.left(where.filePath.lastIndexOf('/'));
    // A name Qt's file classes would not give back as these bytes, or one too long to open, is
    // reached through a descriptor of the directory.
    const QString decoded = QFile::decodeName(directory);
    if (where.descriptor < 0 && !where.filePath.isEmpty()
        && (directory.size() >= PATH_MAX - NAME_MAX || QFile::encodeName(decoded) != directory))
        where.descriptor = ::open(
            directory.isEmpty() ? "/" : directory.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (where.descriptor >= 0)
        where.directory = QStringLiteral("/proc/self/fd/%1").arg(where.descriptor);
    else if (!where.filePath.isEmpty())
        where.directory = directory.isEmpty() ? QStringLiteral("/") : decoded;
#else
    Q_UNUSED(argv0);
#ifdef Q_OS_WIN
    // From the system, so that it is known before the application object exists.
    QString file;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            break;
        if (length < buffer.size()) {
            file = QDir::fromNativeSeparators(QString::fromWCharArray(buffer.data(), int(length)));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
#else
    const QString file = QCoreApplication::applicationFilePath();
#endif
#ifdef Q_OS_WIN
    // File names are UTF-16 here. The ANSI code page that encodeName() uses cannot hold every
    // one of them: two directories named in letters outside it would both read "?...". UTF-8
    // holds them all.
    where.filePath = file.toUtf8();
#else
    where.filePath = QFile::encodeName(file);
#endif
    where.directory = QFileInfo(file).path();
#endif
}

QByteArray launcherFilePath() { return location().filePath; }

QString launcherDirectory() { return location().directory; }

bool isLauncherDirectoryAlias() { return location().descriptor >= 0; }

int launcherDirectoryDescriptor() { return location().descriptor; }

QString launcherBaseName()
{
    const QByteArray& path = location().filePath;
    QByteArray name = path.mid(path.lastIndexOf('/') + 1);
#ifdef Q_OS_WIN
    name = name.mid(name.lastIndexOf('\\') + 1);
    const QString file = QString::fromUtf8(name);
#else
    const QString file = QFile::decodeName(name);
#endif
    return file.section(QLatin1Char('.'), 0, 0);
}

} // namespace launcher
