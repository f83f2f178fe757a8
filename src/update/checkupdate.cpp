#include "checkupdate.h"

#include "updatereply.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#ifdef Q_OS_LINUX
#include <cstdlib>
#include <dirent.h>
#include <sys/socket.h>
#endif

namespace launcher {

namespace {

    // Function-local, so that it is ready even when a test program sets it during static
    // initialisation.
    QString& baseUrlOverride()
    {
        static QString address;
        return address;
    }

    QObject*& abandonedManagers()
    {
        static QObject* managers = nullptr;
        return managers;
    }

    // The process's TCP connections, by descriptor.
    QSet<int> tcpConnections()
    {
        QSet<int> connections;
#ifdef Q_OS_LINUX
        if (DIR* descriptors = ::opendir("/proc/self/fd")) {
            while (const dirent* entry = ::readdir(descriptors)) {
                const int fd = std::atoi(entry->d_name);
                int domain = 0, type = 0;
                socklen_t size = sizeof domain;
                if (entry->d_name[0] != '.' && fd != ::dirfd(descriptors)
                    && ::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &size) == 0
                    && (domain == AF_INET || domain == AF_INET6)
                    && ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0
                    && type == SOCK_STREAM)
                    connections.insert(fd);
            }
            ::closedir(descriptors);
        }
#endif
        return connections;
    }

} // namespace

QString updateBaseUrl()
{
    const QString& address = baseUrlOverride();
    return address.isEmpty() ? QStringLiteral("http://" LAUNCHER_UPDATE_HOST "/sw") : address;
}

void setUpdateBaseUrl(const QString& baseUrl) { baseUrlOverride() = baseUrl; }

CheckUpdate::CheckUpdate(QObject* parent)
    : QObject(parent)
    , baseUrl(updateBaseUrl())
    , networkManager(new QNetworkAccessManager(this))
{
}

CheckUpdate::~CheckUpdate()
{
    // An exchange the check gave up on may still occupy Qt's network threads (a host name being
    // looked up, a stream that has not yet seen its connection end), and destroying the manager
    // waits up to five seconds for them. Its manager is therefore never released: it stays
    // reachable from abandonedManagers() and goes with the process, which does not wait either.
    if (gaveUp || (reply && !reply->isFinished())) {
        if (!abandonedManagers())
            abandonedManagers() = new QObject;
        networkManager->setParent(abandonedManagers());
    }
    delete reply;
}

bool isExchangeStillRunning() { return abandonedManagers() != nullptr; }

bool CheckUpdate::check(const QString& locale, const QString& product, const QString& platform,
    const QString& version, const QString& variant)
{
    if (locale.isEmpty())
        return false;

    // One pass over all five values, so that a "%1" inside one of them stays as it is.
    QUrl address(
        QStringLiteral("%1/%2/%3/%4/info_%5.php").arg(baseUrl, locale, product, platform, version),
        QUrl::TolerantMode);
    if (!variant.isEmpty()) {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("variant"), variant);
        address.setQuery(query);
    }

    // No redirect policy: a redirect answer is an answer like any other and is not followed.
    QNetworkRequest request(address);
    // Left alone, Qt asks for gzip and inflates the answer on its network thread, whole and before
    // anything reaches the reply: a small compressed answer can swell to gigabytes there and hold
    // the thread for seconds. A reply of two short lines gains nothing from compression.
    request.setRawHeader("Accept-Encoding", "identity");
    const QSet<int> connectionsBefore = tcpConnections();
    reply = networkManager->get(request);
    // The network thread stops taking data from the socket once the reply holds this much, so a
    // flood costs neither memory nor time; one byte more than the cap tells a reply that is too
    // long from one that just fits.
    reply->setReadBufferSize(maxUpdateReplySize + 1);

    QEventLoop loop;
    bool tooLong = false;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(reply, &QIODevice::readyRead, &loop, [&] {
        if (reply->bytesAvailable() > maxUpdateReplySize) {
            tooLong = true;
            loop.quit();
        }
    });
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();

    if (tooLong || reply->bytesAvailable() > maxUpdateReplySize) {
        endExchange(connectionsBefore);
        return false;
    }
    const bool newer = handleReply(reply, version);
    if (!reply->isFinished())
        endExchange(connectionsBefore);
    return newer;
}

void CheckUpdate::endExchange(const QSet<int>& connectionsBefore)
{
    // A server that streams its status line or header lines without end holds Qt's network
    // thread in a loop that reads for as long as data keeps coming; an abort reaches that thread
    // only once the loop ends, so the exchange would go on, a megabyte of header a second,
    // for as long as the launcher window stays open. The connections this exchange opened are
    // shut down underneath it instead (the thread then sees the end of the stream and leaves its
    // loop; the descriptors stay its own to close).
#ifdef Q_OS_LINUX
    for (const int fd : tcpConnections() - connectionsBefore)
        ::shutdown(fd, SHUT_RDWR);
#else
    // Elsewhere the process's connections are not listed (tcpConnections() is empty).
    Q_UNUSED(connectionsBefore);
#endif
    reply->abort();
    gaveUp = true;
}

bool CheckUpdate::handleReply(QNetworkReply* reply, QString version)
{
    if (reply->error() != QNetworkReply::NoError) {
        qDebug() << "CheckUpdate reply error " << reply->error();
        return false;
    }
    return parseUpdateReply(reply->readAll(), version, newVersion, url);
}

} // namespace launcher
