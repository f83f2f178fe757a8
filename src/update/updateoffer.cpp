#include "updateoffer.h"

#include "app/applicationobject.h"
#include "app/target.h"
#include "app/windowsystem.h"
#include "checkupdate.h"
#include "common/names.h"
#include "updateinfo.h"
#include "updateknobs.h"
#include "updatepolicy.h"
#include "versionstore.h"

#include <QObject>
#include <QUrl>
#include <QUrlQuery>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace launcher {

namespace {

    QuestionHandler& questionHandler()
    {
        static QuestionHandler handler;
        return handler;
    }

    bool askUser(const QString& title, const QString& text)
    {
        ApplicationObject::useWindowSystem();
        if (const QuestionHandler& handler = questionHandler())
            return handler(title, text);
        return windowSystem().askYesNo(title, text);
    }

    // While the desktop's opener starts, the launcher's output is /dev/null. The opener is a
    // program of its own (xdg-open, the browser it starts) and writes what it likes to the output
    // it inherits, which is the launcher's: that it found no browser, with the page's address.
    class QuietOutput {
    public:
        QuietOutput()
        {
#ifdef Q_OS_UNIX
            std::fflush(nullptr);
            const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            for (int fd : { 1, 2 }) {
                saved[fd - 1] = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
                if (nowhere >= 0)
                    ::dup2(nowhere, fd);
            }
            if (nowhere >= 0)
                ::close(nowhere);
#endif
        }
        ~QuietOutput()
        {
#ifdef Q_OS_UNIX
            std::fflush(nullptr);
            for (int fd : { 1, 2 }) {
                if (saved[fd - 1] >= 0) {
                    ::dup2(saved[fd - 1], fd);
                    ::close(saved[fd - 1]);
                }
            }
#endif
        }
        QuietOutput(const QuietOutput&) = delete;
        QuietOutput& operator=(const QuietOutput&) = delete;

    private:
        int saved[2] = { -1, -1 };
    };

    QString& downloadHostsOverride()
    {
        static QString hosts;
        return hosts;
    }

    bool isWebAddress(const QUrl& address)
    {
        const QString scheme = address.scheme();
        return scheme == QLatin1String("http") || scheme == QLatin1String("https");
    }

} // namespace

void openWebPage(const QString& address)
{
    const QUrl page(address, QUrl::TolerantMode);
    if (!isWebAddress(page))
        return;
    ApplicationObject::useWindowSystem();
    const QuietOutput quiet;
    windowSystem().openUrl(page);
}

void setQuestionHandler(QuestionHandler handler) { questionHandler() = std::move(handler); }

bool isOnHosts(const QUrl& page, const QStringList& hosts)
{
    QString host = page.host(QUrl::FullyEncoded).toLower();
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    for (const QString& allowed : hosts) {
        if (allowed.startsWith(QLatin1String("*."))
                ? host.endsWith(allowed.mid(1)) && host.size() > allowed.size() - 1
                : host == allowed)
            return true;
    }
    return false;
}

QStringList downloadHosts()
{
    const QString& hosts = downloadHostsOverride();
    QStringList list;
    for (QString host : (hosts.isEmpty() ? QString::fromUtf8(builtInDownloadHosts()) : hosts)
                            .split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        // As isOnHosts() sees a page's host.
        host = host.trimmed();
        const QString wildcard = host.startsWith(QLatin1String("*.")) ? QStringLiteral("*.") : "";
        const QByteArray ace = QUrl::toAce(host.mid(wildcard.size()));
        // One that is no host name stays in the list, to match nothing rather than let any pass.
        host = (ace.isEmpty() ? host.mid(wildcard.size()) : QString::fromLatin1(ace)).toLower();
        if (host.endsWith(QLatin1Char('.')))
            host.chop(1);
        list << wildcard + host;
    }
    return list;
}

void setDownloadHosts(const QString& hosts) { downloadHostsOverride() = hosts; }

QString downloadPageAddress(const QString& reportedUrl)
{
    QUrl page(reportedUrl, QUrl::TolerantMode);
    const QStringList hosts = downloadHosts();
    if (!isWebAddress(page) || (!hosts.isEmpty() && !isOnHosts(page, hosts)))
        return QString();
    // Items already there stay in their order, an earlier "platform" included.
    QUrlQuery query(page);
    query.addQueryItem(QStringLiteral("platform"), platformName);
    page.setQuery(query);
    return page.toString();
}

// Whether the update step asks the server: a version and a locale to ask about, and no
// administrator's switch against it.
static bool asksServer(const Target& target)
{
    return !target.version.isEmpty() && !target.locale.isEmpty()
        && isUpdateCheckAllowed(target.product);
}

void prepareUpdateCheck(const Target& target)
{
    if (asksServer(target))
        prepareSecureTransport();
}

void offerNewerVersion(CheckUpdate& checkUpdate, const Target& target, UpdateInfo& updateInfo)
{
    if (!asksServer(target)
        || !checkUpdate.check(
            target.locale, target.product, platformName, target.version, target.variant))
        return;

    const QString page = downloadPageAddress(checkUpdate.url);
    if (page.isEmpty())
        return;
    updateInfo.newVersion = checkUpdate.newVersion;
    updateInfo.updateUrl = page;

    const QString key = QStringLiteral("%1/%2/version").arg(target.locale, target.product);
    if (isOffered(key, updateInfo.newVersion))
        return;
    // The window system before the version is recorded: where there is none the launcher ends
    // there, and the question comes at the next start that has one.
    ApplicationObject::useWindowSystem();
    // The version counts as offered from here on, whatever the answer.
    if (!takeOffer(key, updateInfo.newVersion))
        return;

    if (askUser(target.productName, QObject::tr("lic_update_question")))
        openWebPage(updateInfo.updateUrl);
}

} // namespace launcher
