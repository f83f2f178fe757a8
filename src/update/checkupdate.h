#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace launcher {

// The most of a reply that is ever read. A genuine reply is two short lines; anything beyond
// 64 KiB is not an answer from our download server, so such a reply is dropped unread and counts
// as no newer version. The cap also bounds the memory and time a hostile server can cost.
constexpr qint64 maxUpdateReplySize = 64 * 1024;

// The download server's base address for every CheckUpdate of this process: the scheme and the
// host given at build time (LAUNCHER_UPDATE_SCHEME, http or https, and LAUNCHER_UPDATE_HOST) and
// "/sw".
QString updateBaseUrl();

// Points every CheckUpdate created afterwards at another server; an empty address restores the
// built-in one. Only test programs call this: the launcher has no switch that leads here.
void setUpdateBaseUrl(const QString& baseUrl);

// With an https server, loads the TLS library and makes its default configuration on a thread of
// its own: most of what an https exchange costs beyond an http one, which then overlaps whatever
// the launcher does before it asks. A CheckUpdate waits for that thread before its request, and
// when it is destroyed. Without https, or when called again, nothing.
void prepareSecureTransport();

// True once a CheckUpdate was destroyed while its exchange was still running: Qt's network
// threads may then still be busy with it (a host name being looked up, a server that keeps
// sending), and the process should not wait for them when it ends.
bool isExchangeStillRunning();

// Asks the download server whether a newer version of the product exists and keeps the version
// and download page it reports. One GET, waited for at most one second on the calling thread;
// every failure simply means "no newer version" (at most one debug line says why).
class CheckUpdate : public QObject {
    Q_OBJECT

public:
    explicit CheckUpdate(QObject* parent = nullptr);
    ~CheckUpdate() override;

    // True when the server reports a version other than `version` together with a download
    // page; `newVersion` and `url` then hold what it reported. An empty locale sends nothing.
    // Where a public key is built in (answersignature.h), the answer must be signed with it.
    bool check(const QString& locale, const QString& product, const QString& platform,
        const QString& version, const QString& variant);

private:
    bool handleReply(QNetworkReply* reply, QString version);
    // Gives up the exchange that check() started; `connectionsBefore` are the process's TCP
    // connections from before it.
    void endExchange(const QSet<qintptr>& connectionsBefore);

    const QString baseUrl;
    QNetworkAccessManager* networkManager = nullptr;
    QNetworkReply* reply = nullptr;
    bool gaveUp = false;
    // What the last request asked about, which a signed answer must have been made for.
    QString locale, product, platform;

public:
    // Empty until a check reports a newer version; then both are set together.
    QString newVersion;
    QString url;
};

} // namespace launcher
