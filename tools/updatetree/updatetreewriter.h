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
        QByteArray signingKey; // the vendor's Ed25519 secret key (64 bytes); empty: unsigned
    };

    // A new key pair: the secret key in `secretKeyFile` (created, readable by its owner only; an
    // existing file is left alone), the public key returned in standard base64, or empty and
    // `error` set.
    static QByteArray newKey(const QString& secretKeyFile, QString* error);
    // The secret key from such a file; empty when it holds none.
    static QByteArray readKey(const QString& secretKeyFile);

    // The reply body a launcher parses for `locale`, signed when the release has a signing key.
    static QByteArray replyBody(const Release& release, const QString& locale);

    // Why the release cannot be written (empty when it can): path elements that would escape
    // the tree or that a launcher could never request, or missing values.
    static QString problem(const Release& release);

    // Writes the tree under `root`; returns the files written (relative to root), or an empty
    // list and `error` set when something could not be written.
    static QStringList write(const QString& root, const Release& release, QString* error);
};
