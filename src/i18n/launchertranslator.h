#pragma once

#include <QMap>
#include <QString>
#include <QTranslator>

namespace launcher {

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

private:
    QString stringsDir;
    QMap<QString, QString> fallbackTable;
    QMap<QString, QString> languageTable;
};

} // namespace launcher
