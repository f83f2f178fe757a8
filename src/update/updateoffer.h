#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include "updateinfo.h"

#include <functional>

namespace launcher {

class CheckUpdate;
class Target;
struct UpdateInfo;

// The download page for the address the server reported: parsed tolerantly, with the item
// "platform" appended to its query. Only web pages are offered, since the address comes from an
// unauthenticated answer: anything but an http or https address (a local file, a script, a
// desktop file, an address without a scheme) gives an empty result, which means no download page.
// Schemes are compared as QUrl gives them, in lower case, so "HTTP://..." is a web address; blanks
// or control characters before the scheme leave no valid address at all. Every http or https
// address is handed on exactly as before, to the question's Yes and to the window's link alike.
// Where hosts are named (LAUNCHER_DOWNLOAD_HOSTS), a page on any other host gives an empty result
// as well.
QString downloadPageAddress(const QString& reportedUrl);

// Whether `page` lies on one of `hosts`: a host name, or "*.name" for the hosts below that name
// (not the name itself). The page's host is taken as the browser will see it: after parsing, in
// lower case, without a trailing dot, a name outside ASCII as its punycode; so
// "https://example.com@evil.net/" is on evil.net.
bool isOnHosts(const QUrl& page, const QStringList& hosts);

// The hosts download pages may be on (LAUNCHER_DOWNLOAD_HOSTS); empty: any.
QStringList downloadHosts();

// Takes `hosts` from then on, separated by commas (empty: the built-in ones). Only test
// programs call this: the launcher has no switch that leads here.
void setDownloadHosts(const QString& hosts);

// Opens an address in the user's browser when it is an http or https address, and nothing else:
// both the question's Yes and every link of the launcher window come through here.
void openWebPage(const QString& address);

// The update step of the launch sequence: asks the download server about the product through
// `checkUpdate` (which the sequence keeps until it returns) and, when it reports a newer version,
// fills `updateInfo` and asks the user once per reported version whether to open the download
// page. The launch goes on whatever happens here.
void offerNewerVersion(CheckUpdate& checkUpdate, const Target& target, UpdateInfo& updateInfo);

// Starts ahead what the update step will need, when it is going to ask the server at all: with
// https, the TLS set-up (prepareSecureTransport()), so that it overlaps the application object's
// set-up and the tables instead of delaying the request.
void prepareUpdateCheck(const Target& target);

// Answers the update question instead of the message box, given its title and text: whether the
// answer is Yes. Test programs set it so that no person is needed; an empty handler brings the
// message box back. The window system is there when it is called.
using QuestionHandler = std::function<bool(const QString& title, const QString& text)>;
void setQuestionHandler(QuestionHandler handler);

} // namespace launcher
