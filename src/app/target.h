#pragma once

#include <QByteArray>
#include <QList>
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
    // Where the system hands a program bytes rather than text (Linux), the exact bytes of each of
    // `arguments`: an argument need not be UTF-8 there, and its decoded text may have lost bytes.
    // Empty elsewhere; when it does not match `arguments` one for one, `arguments` are encoded.
    QList<QByteArray> argumentBytes;
};

} // namespace launcher
