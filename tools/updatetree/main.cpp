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
    parser.addOptions({ product, locales, platform, versions, newest, url, output });
    parser.process(application);

    QTextStream err(stderr);
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

    QString error;
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
