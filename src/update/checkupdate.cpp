#include "checkupdate.h"

#include "answersignature.h"
#include "networksetup.h"
#include "updateknobs.h"
#include "updatereply.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QSslConfiguration>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

#ifdef Q_OS_LINUX
#include <cstdlib>
#include <dirent.h>
#include <sys/socket.h>
#elif defined(Q_OS_WIN)
#include <winsock2.h>
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

    QThread*& secureTransportPreparation()
    {
        static QThread* thread = nullptr;
        return thread;
    }

    void waitForSecureTransport()
    {
        if (QThread* thread = std::exchange(secureTransportPreparation(), nullptr)) {
            thread->wait();
            delete thread;
        }
    }

    bool isTcpConnection(qintptr socket)
    {
#ifdef Q_OS_LINUX
        int domain = 0, type = 0;
        socklen_t size = sizeof domain;
        return ::getsockopt(int(socket), SOL_SOCKET, SO_DOMAIN, &domain, &size) == 0
            && (domain == AF_INET || domain == AF_INET6)
            && ::getsockopt(int(socket), SOL_SOCKET, SO_TYPE, &type, &size) == 0
            && type == SOCK_STREAM;
#elif defined(Q_OS_WIN)
        WSAPROTOCOL_INFOW protocol;
        int size = sizeof protocol;
        return ::getsockopt(SOCKET(socket), SOL_SOCKET, SO_PROTOCOL_INFOW,
                   reinterpret_cast<char*>(&protocol), &size)
            == 0
            && protocol.iSocketType == SOCK_STREAM
            && (protocol.iAddressFamily == AF_INET || protocol.iAddressFamily == AF_INET6);
#else
        Q_UNUSED(socket);
        return false;
#endif
    }

    // The process's TCP connections, by descriptor; `all`: also where listing them is dear.
    QSet<qintptr> tcpConnections(bool all)
    {
        QSet<qintptr> connections;
#ifdef Q_OS_LINUX
        Q_UNUSED(all);
        if (DIR* descriptors = ::opendir("/proc/self/fd")) {
            while (const dirent* entry = ::readdir(descriptors)) {
                const int fd = std::atoi(entry->d_name);
                if (entry->d_name[0] != '.' && fd != ::dirfd(descriptors) && isTcpConnection(fd))
                    connections.insert(fd);
            }
            ::closedir(descriptors);
        }
#elif defined(Q_OS_WIN)
        // Windows lists a process's sockets nowhere; a socket is a handle, and handles are small
        // multiples of four, so those that answer as TCP sockets are tried, some thousands: only
        // when an exchange is given up. Then the launcher has no other connection than its own.
        for (qintptr socket = 4; all && socket < 65536; socket += 4)
            if (isTcpConnection(socket))
                connections.insert(socket);
#else
        Q_UNUSED(all);
#endif
        return connections;
    }

} // namespace

QString updateBaseUrl()
{
    const QString& address = baseUrlOverride();
    // With https the system's trust store decides; a certificate it does not trust fails the
    // exchange like any other network error: no newer version, and the one debug line.
    return address.isEmpty() ? QString::fromUtf8(builtInUpdateBaseUrl()) : address;
}

void setUpdateBaseUrl(const QString& baseUrl) { baseUrlOverride() = baseUrl; }

void prepareSecureTransport()
{
#ifndef QT_NO_SSL
    if (secureTransportPreparation()
        || !updateBaseUrl().startsWith(QLatin1String("https:"), Qt::CaseInsensitive))
        return;
    // Qt loads the library and sets up its defaults once, under a lock of its own: a request made
    // meanwhile waits for it as it would have done the work.
    secureTransportPreparation()
        = QThread::create([] { QSslConfiguration::defaultConfiguration(); });
    secureTransportPreparation()->start();
#endif
}

CheckUpdate::CheckUpdate(QObject* parent)
    : QObject(parent)
    , baseUrl(updateBaseUrl())
{
}

CheckUpdate::~CheckUpdate()
{
    waitForSecureTransport();
    // An exchange the check gave up on may still occupy Qt's network threads (a host name being
    // looked up, a stream that has not yet seen its connection end), and destroying the manager
    // waits up to five seconds for them. Its manager is therefore never released: it stays
    // reachable from abandonedManagers() and goes with the process, which does not wait either.
    if (networkManager && (gaveUp || (reply && !reply->isFinished()))) {
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
    this->locale = locale;
    this->product = product;
    this->platform = platform;

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
    waitForSecureTransport();
    // Made with the first request: a start without one sets up nothing of the network.
    if (!networkManager)
        networkManager = newNetworkManager(this);
    const QSet<qintptr> connectionsBefore = tcpConnections(false);
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
    // An answer that announces more is refused as soon as it says so.
    connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        bool announced = false;
        const qint64 length
            = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&announced);
        if (announced && length > maxUpdateReplySize) {
            tooLong = true;
            loop.quit();
        }
    });
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();

    // Only a whole answer counts. One still arriving when the second is up (fewer bytes than it
    // announced, a chunked body that has not ended) may be cut anywhere, inside its address too,
    // which would lead to another host; and a cut version would be recorded as offered.
    if (tooLong || !reply->isFinished() || reply->bytesAvailable() > maxUpdateReplySize) {
        endExchange(connectionsBefore);
        return false;
    }
    return handleReply(reply, version);
}

void CheckUpdate::endExchange(const QSet<qintptr>& connectionsBefore)
{
    reply->abort();
    gaveUp = true;
    // The abort reaches Qt's network thread as a queued call, and an idle thread closes the
    // connection at once. A server that streams its status line or header lines without end
    // holds that thread in a loop that reads for as long as data keeps coming, so the exchange
    // would go on, a megabyte of header a second, for as long as the launcher window stays open.
    // A connection of this exchange that is still open a moment later is shut down underneath
    // the thread instead: it then sees the end of the stream and leaves its loop (the descriptor
    // stays its own to close). Not at once: a request still waiting for its answer whose
    // connection ends is sent again by Qt.
    QSet<qintptr> open = tcpConnections(true) - connectionsBefore;
    for (int wait = 0; wait < 20 && !open.isEmpty(); ++wait) {
        QThread::msleep(5);
        for (auto it = open.begin(); it != open.end();) {
            if (isTcpConnection(*it))
                ++it;
            else
                it = open.erase(it);
        }
    }
    for (const qintptr socket : qAsConst(open)) {
#ifdef Q_OS_LINUX
        ::shutdown(int(socket), SHUT_RDWR);
#elif defined(Q_OS_WIN)
        ::shutdown(SOCKET(socket), SD_BOTH);
#endif
    }
}

bool CheckUpdate::handleReply(QNetworkReply* reply, QString version)
{
    if (reply->error() != QNetworkReply::NoError) {
        qDebug() << "CheckUpdate reply error " << reply->error();
        return false;
    }
    const QByteArray body = reply->readAll();
    QString reportedVersion, reportedUrl;
    if (!parseUpdateReply(body, version, reportedVersion, reportedUrl))
        return false;
    const QByteArray key = updatePublicKey();
    if (!key.isEmpty()
        && !isSignedAnswer(body,
            signedAnswerMessage(locale, product, platform, reportedVersion, reportedUrl), key))
        return false;
    newVersion = reportedVersion;
    url = reportedUrl;
    return true;
}

} // namespace launcher
