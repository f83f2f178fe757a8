#pragma once

#include <QString>
#include <QStringList>

// Lays out the files a download server serves to launchers, so that a plain static web server
// (or a CDN in front of it) answers every update check without any code of its own:
//   <root>/sw/<locale>/<product>/<platform>/info_<version>.php   one per version in the field
//   <root>/sw/<locale>/<product>/<platform>/latest.txt           the answer for unknown versions
// Each file holds "new_version=<newest>" and "url=<download page>" lines.
class UpdateTreeWriter {
public:
    struct Release {
        QString product;
        QStringList locales;
        QString platform;
        QStringList fieldVersions; // versions installed out there that should hear of the newest
        QString newestVersion;
        QString downloadUrl; // may hold "%1", replaced by the locale
    };

    // The reply body a launcher parses.
    static QByteArray replyBody(const QString& newestVersion, const QString& downloadUrl);

    // Why the release cannot be written (empty when it can): path elements that would escape
    // the tree or that a launcher could never request, or missing values.
    static QString problem(const Release& release);

    // Writes the tree under `root`; returns the files written (relative to root), or an empty
    // list and `error` set when something could not be written.
    static QStringList write(const QString& root, const Release& release, QString* error);
};
