#include "updateoffer.h"

#include "app/target.h"
#include "checkupdate.h"
#include "updateinfo.h"
#include "versionstore.h"

#include <QDesktopServices>
#include <QObject>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>

namespace launcher {

const QString platformName = QStringLiteral("windows");
const QString organizationName = QStringLiteral("Nimbrel");

namespace {

    QuestionHandler& questionHandler()
    {
        static QuestionHandler handler;
        return handler;
    }

    QMessageBox::StandardButton askUser(const QString& title, const QString& text)
    {
        if (const QuestionHandler& handler = questionHandler())
            return handler(title, text);
        return QMessageBox::information(
            nullptr, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    }

    bool isWebAddress(const QUrl& address)
    {
        const QString scheme = address.scheme();
        return scheme == QLatin1String("http") || scheme == QLatin1String("https");
    }

} // namespace

void setQuestionHandler(QuestionHandler handler) { questionHandler() = std::move(handler); }

QString downloadPageAddress(const QString& reportedUrl)
{
    QUrl page(reportedUrl, QUrl::TolerantMode);
    if (!isWebAddress(page))
        return QString();
    // Items already there stay in their order, an earlier "platform" included.
    QUrlQuery query(page);
    query.addQueryItem(QStringLiteral("platform"), platformName);
    page.setQuery(query);
    return page.toString();
}

void offerNewerVersion(CheckUpdate& checkUpdate, const Target& target, UpdateInfo& updateInfo)
{
    if (target.version.isEmpty()
        || !checkUpdate.check(
            target.locale, target.product, platformName, target.version, target.variant))
        return;

    const QString page = downloadPageAddress(checkUpdate.url);
    if (page.isEmpty())
        return;
    updateInfo.newVersion = checkUpdate.newVersion;
    updateInfo.updateUrl = page;

    QSettings store(
        QSettings::NativeFormat, QSettings::UserScope, organizationName, QStringLiteral("Update"));
    const QString key = QStringLiteral("%1/%2/version").arg(target.locale, target.product);
    const QString offered = store.value(key).toString();
    if (!offered.isEmpty() && offered == updateInfo.newVersion)
        return;

    // The version counts as offered from here on, whatever the answer; it is on disk before the
    // question is shown, so a launcher ended during the question does not ask again.
    storeOfferedVersion(store, key, updateInfo.newVersion);

    if (askUser(target.productName, QObject::tr("lic_update_question")) == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl(updateInfo.updateUrl, QUrl::TolerantMode));
}

} // namespace launcher
