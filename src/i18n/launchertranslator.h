#pragma once

#include <QMap>
#include <QString>
#include <QTranslator>

namespace launcher {

// Whether the language (a code such as "he_IL", "ar" or "fa-IR") is written right to left: its
// first part is Arabic, Sorani Kurdish, Dhivehi, Persian, Hebrew (also its old code "iw"),
// Pashto, Sindhi, Uyghur, Urdu or Yiddish, in any letter case.
bool isRightToLeft(const QString& language);

// Answers every text the launcher requests by identifier ("lic_...") from the product's string
// tables: the table of the chosen language first, then the one of "en_US". The framework's
// Yes, No, Cancel and Abort button texts are mapped to identifiers too. The language is chosen
// once, on construction: the requested one, else the user's setting, else the product's
// default-language file, else "en_US".
class LauncherTranslator : public QTranslator {
    Q_OBJECT

public:
    LauncherTranslator(QObject* parent, const QString& language);
    ~LauncherTranslator() override;

    QString translate(const char* context, const char* sourceText,
        const char* disambiguation = nullptr, int n = -1) const override;

    // The direction of the chosen language when its table was read; left to right when its texts
    // are en_US's.
    Qt::LayoutDirection layoutDirection() const;

private:
    QString stringsDir;
    QMap<QString, QString> fallbackTable;
    QMap<QString, QString> languageTable;
    Qt::LayoutDirection direction = Qt::LeftToRight;
};

} // namespace launcher
