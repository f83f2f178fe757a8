// launcher-update-tree: writes the static reply files for a new release.
#include "updatetreewriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("launcher-update-tree"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the files a static web server serves to launchers asking for updates:\n"
        "OUTPUT/sw/<locale>/<product>/<platform>/info_<version>.php and latest.txt."));
    parser.addHelpOption();
    const QCommandLineOption product({ "p", "product" }, "Product code, e.g. quill.", "code");
    const QCommandLineOption locales(
        { "l", "locales" }, "Comma-separated locales, e.g. en_US,de_DE.", "list");
    const QCommandLineOption platform({ "t", "platform" }, "Platform name.", "name", "windows");
    const QCommandLineOption versions(
        { "f", "field-versions" }, "Comma-separated versions installed in the field.", "list");
    const QCommandLineOption newest({ "n", "newest" }, "The newest version.", "version");
    const QCommandLineOption url(
        { "u", "url" }, "Download page (http or https); %1 stands for the locale.", "address");
    const QCommandLineOption output({ "o", "output" }, "Directory to write the tree into.", "dir");
    const QCommandLineOption newKey("new-key",
        "Writes a new key pair: the secret key into FILE (readable by its owner only), the public "
        "key, for LAUNCHER_UPDATE_PUBLIC_KEY, to standard output.",
        "FILE");
    const QCommandLineOption signingKey(
        "signing-key", "Signs every answer with the secret key in FILE.", "FILE");
    parser.addOptions(
        { product, locales, platform, versions, newest, url, output, newKey, signingKey });
    parser.process(application);

    QTextStream err(stderr);
    QString error;
    if (parser.isSet(newKey)) {
        const QByteArray publicKey = UpdateTreeWriter::newKey(parser.value(newKey), &error);
        if (publicKey.isEmpty()) {
            err << "launcher-update-tree: " << error << "\n";
            return 1;
        }
        QTextStream(stdout) << publicKey << "\n";
        return 0;
    }
    for (const QCommandLineOption& required : { product, locales, newest, url, output }) {
        if (!parser.isSet(required)) {
            err << "missing --" << required.names().last() << "\n";
            return 2;
        }
    }

    UpdateTreeWriter::Release release;
    release.product = parser.value(product);
    release.locales = parser.value(locales).split(QLatin1Char(','), Qt::SkipEmptyParts);
    release.platform = parser.value(platform);
    release.fieldVersions = parser.value(versions).split(QLatin1Char(','), Qt::SkipEmptyParts);
    release.newestVersion = parser.value(newest);
    release.downloadUrl = parser.value(url);
    if (parser.isSet(signingKey)) {
        release.signingKey = UpdateTreeWriter::readKey(parser.value(signingKey));
        if (release.signingKey.isEmpty()) {
            err << "launcher-update-tree: no secret key in " << parser.value(signingKey) << "\n";
            return 1;
        }
    }

    const QStringList written = UpdateTreeWriter::write(parser.value(output), release, &error);
    if (written.isEmpty()) {
        err << "launcher-update-tree: " << error << "\n";
        return 1;
    }
    QTextStream out(stdout);
    for (const QString& file : written)
        out << file << "\n";
    return 0;
}
