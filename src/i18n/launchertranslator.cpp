#include "launchertranslator.h"

#include "common/configpath.h"
#include "common/settingsfile.h"
#include "common/userstore.h"
#include "stringtable.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace launcher {

namespace {

    const char fallbackLanguage[] = "en_US";

    // The default-language file holds one line. QSettings reads a file whole whatever its size,
    // so a larger one is taken for a malformed file and not read.
    const qint64 maxDefaultFileSize = 1024 * 1024;

    // Maps the framework's own texts of its standard buttons, in whatever context it asks, to
    // identifiers.
    struct StandardButtonId {
        const char* sourceText;
        const char* identifier;
    };

    const StandardButtonId standardButtonIds[] = {
        { "Cancel", "lic_cancel_btn" },
        { "Abort", "lic_abort_btn" },
        { "&Yes", "lic_yes_btn" },
        { "&No", "lic_no_btn" },
    };

    const char* identifierFor(const char* sourceText)
    {
        if (qstrncmp(sourceText, "lic_", 4) == 0)
            return sourceText;
        for (const StandardButtonId& row : standardButtonIds) {
            if (qstrcmp(row.sourceText, sourceText) == 0)
                return row.identifier;
        }
        return sourceText;
    }

    // The language of the product's default-language file; empty when the file cannot be read
    // or is malformed, "en_US" when it is missing or names none.
    QString defaultLanguage(const QSettings& builtIn)
    {
        const QString path
            = resolveConfigPath(builtIn.value(QStringLiteral("language/default_ini")).toString());
        // Something other than a regular file (a directory, a FIFO that would block the opening
        // for ever, a device) counts as unreadable.
        const QFileInfo info(path);
        if (info.exists() && (!info.isFile() || info.size() > maxDefaultFileSize))
            return QString();

        QSettings defaults(path, QSettings::IniFormat);
        useUtf8(defaults);
        const QString language
            = defaults.value(QStringLiteral("language"), QLatin1String(fallbackLanguage))
                  .toString();
        return defaults.status() == QSettings::NoError ? language : QString();
    }

    QString chooseLanguage(const QString& requested, const QSettings& builtIn)
    {
        if (!requested.isEmpty())
            return requested;

        // Read only; the launcher never writes the user's language. A store that is not a
        // file it can read holds no language.
        const std::unique_ptr<QSettings> user = openUserStore(QCoreApplication::applicationName());
        const QString key = QStringLiteral("language");
        if (user && user->contains(key))
            return user->value(key).toString();

        return defaultLanguage(builtIn);
    }

} // namespace

bool isRightToLeft(const QString& language)
{
    static const char* const rightToLeft[]
        = { "ar", "ckb", "dv", "fa", "he", "iw", "ps", "sd", "ug", "ur", "yi" };
    const QString code = language.section(QRegularExpression(QStringLiteral("[_.@-]")), 0, 0);
    for (const char* known : rightToLeft) {
        if (code.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

LauncherTranslator::LauncherTranslator(QObject* parent, const QString& language)
    : QTranslator(parent)
{
    QSettings builtIn(builtInSettingsPath(), QSettings::IniFormat);
    useUtf8(builtIn);
    stringsDir = builtIn.value(QStringLiteral("language/strings_dir")).toString();

    const QString chosen = chooseLanguage(language, builtIn);
    loadStringTable(stringsDir, QLatin1String(fallbackLanguage), fallbackTable);
    // The same file once more would give the same map.
    if (chosen == QLatin1String(fallbackLanguage))
        languageTable = fallbackTable;
    else
        loadStringTable(stringsDir, chosen, languageTable);
    // Qt would read the direction from a translation of its own on a language-change event, and
    // installing this translator sends none.
    if (!languageTable.isEmpty() && isRightToLeft(chosen))
        direction = Qt::RightToLeft;
}

LauncherTranslator::~LauncherTranslator() = default;

Qt::LayoutDirection LauncherTranslator::layoutDirection() const { return direction; }

QString LauncherTranslator::translate(
    const char*, const char* sourceText, const char*, int) const
{
    if (!sourceText)
        return QString();
    const QString identifier = QString::fromUtf8(identifierFor(sourceText));

    auto found = languageTable.constFind(identifier);
    if (found != languageTable.constEnd())
        return found.value();
    found = fallbackTable.constFind(identifier);
    if (found != fallbackTable.constEnd())
        return found.value();
    return QString();
}

} // namespace launcher
