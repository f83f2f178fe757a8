#include "checkupdate.h"

#include "updatereply.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

namespace launcher {

namespace {

    // Function-local, so that it is ready even when a test program sets it during static
    // initialisation.
    QString& baseUrlOverride()
    {
        static QString address;
        return address;
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
    // A server that streams its status line or headers without end holds Qt's network thread in a
    // loop that reads one byte per call for as long as data keeps coming; an abort only reaches
    // that thread once the loop ends, and destroying the manager waits up to five seconds for it.
    // The manager of an exchange the wait gave up on is therefore never released: it stays
    // reachable from `abandonedManagers` and goes with the process, which then ends as soon as the
    // launch sequence is done instead of lingering for Qt's thread. While the launcher window is
    // open, such a server keeps that thread reading, and the header it collects grows by about a
    // megabyte a second: Qt 5.15 has no limit on the size of a header, and its loop can only be
    // ended by the connection itself, so that is left as it is.
    if (reply && !reply->isFinished()) {
        static QObject* abandonedManagers = nullptr;
        if (!abandonedManagers)
            abandonedManagers = new QObject;
        networkManager->setParent(abandonedManagers);
    }
    delete reply;
}

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
        reply->abort();
        return false;
    }
    return handleReply(reply, version);
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
