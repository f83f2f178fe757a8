#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QSettings;

namespace launcher {

// The one product this launcher starts: what to run, how it is called on screen, what the
// update check needs to know about it, and the arguments handed on to it.
class Target : public QObject {
    Q_OBJECT

public:
    explicit Target(QSettings& settings, QObject* parent = nullptr);

    QString name;
    QString productName;
    QString product;
    QString version;
    QString variant;
    QString locale;
    QStringList arguments;
};

} // namespace launcher
