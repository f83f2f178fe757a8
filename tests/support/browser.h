#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the user's browser (and any other opener the desktop has): install it with
// QDesktopServices::setUrlHandler and it records every address it is asked to open.
class Browser : public QObject {
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};
