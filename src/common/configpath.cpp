#include "configpath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#ifdef Q_OS_LINUX
#include <climits>
#include <unistd.h>
#endif

namespace launcher {

QString configPath(const QString& path)
{
    QString result = path;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return result;
}

QString resolveConfigPath(const QString& path)
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(configPath(path));
}

void useUtf8(QSettings& settings) { settings.setIniCodec("UTF-8"); }

QByteArray nativeLauncherPath()
{
#ifdef Q_OS_LINUX
    // The same link Qt reads, without the decoding.
    QByteArray path(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), size_t(path.size()));
    if (length > 0 && length < path.size()) {
        path.truncate(int(length));
        return path;
    }
#endif
#ifdef Q_OS_WIN
    // File names are UTF-16 here. The ANSI code page that encodeName() uses cannot hold every
    // one of them: two directories named in letters outside it would both read "?...". UTF-8
    // holds them all.
    return QCoreApplication::applicationFilePath().toUtf8();
#else
    return QFile::encodeName(QCoreApplication::applicationFilePath());
#endif
}

} // namespace launcher
