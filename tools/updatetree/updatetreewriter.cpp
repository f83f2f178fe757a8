#include "updatetreewriter.h"

#include "update/answersignature.h"

#include <sodium.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

QByteArray UpdateTreeWriter::replyBody(const Release& release, const QString& locale)
{
    QString url = release.downloadUrl;
    url.replace(QLatin1String("%1"), locale);
    QByteArray body
        = "new_version=" + release.newestVersion.toUtf8() + "\r\nurl=" + url.toUtf8() + "\r\n";
    if (release.signingKey.size() == crypto_sign_SECRETKEYBYTES) {
        // The same message the launcher verifies.
        const QByteArray message = launcher::signedAnswerMessage(
            locale, release.product, release.platform, release.newestVersion, url);
        QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
        crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
            reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()),
            reinterpret_cast<const unsigned char*>(release.signingKey.constData()));
        body += "signature=" + signature.toBase64() + "\r\n";
    }
    return body;
}

QByteArray UpdateTreeWriter::newKey(const QString& secretKeyFile, QString* error)
{
    QByteArray publicKey(crypto_sign_PUBLICKEYBYTES, Qt::Uninitialized);
    QByteArray secretKey(crypto_sign_SECRETKEYBYTES, Qt::Uninitialized);
    QFile file(secretKeyFile);
    // Private before a byte of the key is in it.
    if (sodium_init() < 0 || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly)
        || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
        || crypto_sign_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
               reinterpret_cast<unsigned char*>(secretKey.data()))
            != 0
        || file.write(secretKey.toBase64() + '\n') < 0 || !file.flush()) {
        *error = QStringLiteral("cannot make a new key in %1: %2")
                     .arg(secretKeyFile, file.errorString());
        return QByteArray();
    }
    sodium_memzero(secretKey.data(), size_t(secretKey.size()));
    return publicKey.toBase64();
}

QByteArray UpdateTreeWriter::readKey(const QString& secretKeyFile)
{
    QFile file(secretKeyFile);
    const QByteArray key
        = QByteArray::fromBase64(file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : "");
    return key.size() == crypto_sign_SECRETKEYBYTES ? key : QByteArray();
}

static bool isPathElement(const QString& value)
{
    // One directory level of a URL path, served as a file name: nothing that climbs, nests or
    // needs escaping.
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_.+-]+$"));
    return allowed.match(value).hasMatch() && value != QLatin1String(".")
        && value != QLatin1String("..");
}

QString UpdateTreeWriter::problem(const Release& release)
{
    if (release.locales.isEmpty())
        return QStringLiteral("no locale given");
    if (release.newestVersion.isEmpty())
        return QStringLiteral("no newest version given");
    const QString scheme = release.downloadUrl.section(QLatin1Char(':'), 0, 0).toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QStringLiteral("the download page must be an http or https address");
    if (release.downloadUrl.contains(QLatin1Char('\r')) || release.downloadUrl.contains('\n'))
        return QStringLiteral("the download page must be one line");
    QStringList elements { release.product, release.platform, release.newestVersion };
    elements << release.locales << release.fieldVersions;
    for (const QString& element : qAsConst(elements)) {
        if (!isPathElement(element))
            return QStringLiteral("\"%1\" cannot be part of a request path").arg(element);
    }
    return QString();
}

static bool writeFile(const QString& path, const QByteArray& contents)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size()
        && file.commit();
}

QStringList UpdateTreeWriter::write(const QString& root, const Release& release, QString* error)
{
    const QString why = problem(release);
    if (!why.isEmpty()) {
        *error = why;
        return {};
    }

    QStringList written;
    for (const QString& locale : release.locales) {
        const QString dir
            = QStringLiteral("sw/%1/%2/%3/").arg(locale, release.product, release.platform);
        const QByteArray body = replyBody(release, locale);

        QStringList versions = release.fieldVersions;
        // The newest version asks too, and must hear that it is current.
        versions << release.newestVersion;
        versions.removeDuplicates();
        QStringList files;
        for (const QString& version : qAsConst(versions))
            files << dir + QStringLiteral("info_%1.php").arg(version);
        files << dir + QStringLiteral("latest.txt");
        for (const QString& file : qAsConst(files)) {
            if (!writeFile(root + QLatin1Char('/') + file, body)) {
                *error = QStringLiteral("cannot write %1").arg(root + QLatin1Char('/') + file);
                return {};
            }
            written << file;
        }
    }
    return written;
}
