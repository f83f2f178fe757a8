// launcher-brand: writes the texts that name the product (string tables, desktop entry, AppStream
// metadata, manual page, package description) from their templates, with the product name read
// from the built-in settings file by the launcher's own code, so that they name what it shows.
#include "app/target.h"
#include "common/settingsfile.h"

#include <algorithm>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QTextStream>

namespace {

QString xml(QString text)
{
    text.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    text.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    text.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    text.replace(QLatin1Char('"'), QLatin1String("&quot;"));
    return text.replace(QLatin1Char('\''), QLatin1String("&apos;"));
}

// Each placeholder a template may hold, and the name written as the file around it needs.
struct Placeholder {
    const char* text;
    QString (*write)(QString name);
};
const Placeholder placeholders[] = {
    { "@LAUNCHER_PRODUCT_NAME@", xml },
    // A button text, where a single '&' marks the accelerator.
    { "@LAUNCHER_BUTTON_PRODUCT_NAME@",
        [](QString name) { return xml(name.replace(QLatin1Char('&'), QLatin1String("&&"))); } },
    // A desktop entry's string: a backslash is the one character it escapes.
    { "@LAUNCHER_DESKTOP_NAME@",
        [](QString name) { return name.replace(QLatin1Char('\\'), QLatin1String("\\\\")); } },
    { "@LAUNCHER_METAINFO_NAME@", xml },
    // Roff takes a backslash as an escape.
    { "@LAUNCHER_MAN_NAME@",
        [](QString name) { return name.replace(QLatin1Char('\\'), QLatin1String("\\e")); } },
    { "@LAUNCHER_TEXT_NAME@", [](QString name) { return name; } },
};

QString fill(const QString& text, const QString& name, QString* error)
{
    // One pass, so that a name that looks like a placeholder is written as it is.
    static const QRegularExpression placeholder(QStringLiteral("@LAUNCHER_[A-Z_]*@"));
    QString result;
    int done = 0;
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const auto known = std::find_if(std::begin(placeholders), std::end(placeholders),
            [&](const Placeholder& p) { return match.captured() == QLatin1String(p.text); });
        if (known == std::end(placeholders)) {
            *error = QStringLiteral("unknown placeholder %1").arg(match.captured());
            return QString();
        }
        result += QStringView(text).mid(done, match.capturedStart() - done);
        result += known->write(name);
        done = match.capturedEnd();
    }
    return result.append(QStringView(text).mid(done));
}

// Every paragraph folded at blanks into lines of at most `width` characters; a longer word keeps
// a line of its own.
QString fold(const QString& text, int width)
{
    static const QRegularExpression blankLine(QStringLiteral("\n[ \t]*\n"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList paragraphs;
    for (const QString& paragraph : text.split(blankLine)) {
        QString folded;
        QString line;
        for (const QString& word : paragraph.split(blanks, Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
                folded += line + QLatin1Char('\n');
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        if (!line.isEmpty())
            paragraphs << folded + line + QLatin1Char('\n');
    }
    return paragraphs.join(QLatin1Char('\n'));
}

// The product name as the launcher shows it, or why there is none that a text could name.
QString productName(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return QString();
    }
    QSettings settings(path, QSettings::IniFormat);
    launcher::useUtf8(settings);
    const QString key = QStringLiteral("target/product_name");
    const QVariant value = settings.value(key);
    if (settings.status() != QSettings::NoError) {
        *error = QStringLiteral("%1 is not an INI file the launcher can read").arg(path);
    } else if (!settings.contains(key)) {
        *error = QStringLiteral("%1 has no product_name in its [target] group").arg(path);
    } else if (value.userType() == QMetaType::QStringList
        || value.userType() == QMetaType::QVariantList) {
        *error = QStringLiteral("product_name in %1 is a list (an unquoted comma separates "
                                "values): write a name with a comma in double quotes")
                     .arg(path);
    } else if (value.userType() != QMetaType::QString) {
        *error = QStringLiteral("product_name in %1 is not text but a typed @ value (%2): "
                                "write a name that starts with @ as @@")
                     .arg(path, QLatin1String(value.isValid() ? value.typeName() : "invalid"));
    }
    if (!error->isEmpty())
        return QString();
    return launcher::Target(settings).productName;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("launcher-brand"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes each OUTPUT from its TEMPLATE with the product name of SETTINGS (an INI file\n"
        "read as the launcher reads its built-in settings) in place of every placeholder."));
    parser.addHelpOption();
    const QCommandLineOption name(
        { "n", "name" }, "Name the product TEXT instead (empty: the settings' name).", "text");
    const QCommandLineOption foldWidth(
        { "f", "fold" }, "Fold every paragraph into lines of at most WIDTH characters.", "width");
    parser.addOptions({ name, foldWidth });
    parser.addPositionalArgument("settings", "The settings file naming the product.");
    parser.addPositionalArgument(
        "template output", "Templates and the files to write.", "[TEMPLATE OUTPUT]...");
    parser.process(application);

    QTextStream err(stderr);
    const QStringList arguments = parser.positionalArguments();
    const int width = parser.isSet(foldWidth) ? parser.value(foldWidth).toInt() : 0;
    if (arguments.size() % 2 == 0 || (parser.isSet(foldWidth) && width <= 0)) {
        err << "usage: launcher-brand [--name TEXT] [--fold WIDTH] SETTINGS "
               "[TEMPLATE OUTPUT]...\n";
        return 2;
    }
    QString error;
    QString product = parser.value(name);
    QString origin = QStringLiteral("the name given with --name");
    if (product.isEmpty()) {
        origin = QStringLiteral("product_name in ") + arguments.first();
        product = productName(arguments.first(), &error);
        if (product.isEmpty() && error.isEmpty())
            err << "launcher-brand: warning: " << origin
                << " is empty: no text will name a product\n";
    }
    // The desktop entry, the manual page and the package description are read line by line.
    for (const QChar c : qAsConst(product)) {
        if (c.category() == QChar::Other_Control) {
            const QString code
                = QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
            error = QStringLiteral("%1 holds a control character (U+%2)").arg(origin, code);
            break;
        }
    }

    for (int i = 1; error.isEmpty() && i < arguments.size(); i += 2) {
        QFile in(arguments.at(i));
        QSaveFile out(arguments.at(i + 1));
        if (!in.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read %1: %2").arg(in.fileName(), in.errorString());
            break;
        }
        QString text = fill(QString::fromUtf8(in.readAll()), product, &error);
        if (!error.isEmpty()) {
            error = in.fileName() + QStringLiteral(": ") + error;
            break;
        }
        if (width > 0)
            text = fold(text, width);
        QDir().mkpath(QFileInfo(out.fileName()).absolutePath());
        if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
            error = QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString());
    }
    if (!error.isEmpty()) {
        err << "launcher-brand: " << error << "\n";
        return 1;
    }
    return 0;
}
