#pragma once

#include <QAccessibleWidget>

class QLabel;

namespace launcher {

// What a screen reader is told of a label that holds a link: a link (not static text) named by
// its text, with the press action that opens it as a click would. Qt describes every label as
// text, its links included.
class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(QLabel* label);

    QString text(QAccessible::Text kind) const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;

    // Serves the labels named `updateLinkLabel`; installed once with QAccessible::installFactory.
    static QAccessibleInterface* factory(const QString& className, QObject* object);

private:
    QLabel* label() const;
};

} // namespace launcher
