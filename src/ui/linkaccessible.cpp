#include "linkaccessible.h"

#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>

namespace launcher {

LinkAccessible::LinkAccessible(QLabel* label)
    : QAccessibleWidget(label, QAccessible::Link)
{
}

QLabel* LinkAccessible::label() const { return static_cast<QLabel*>(widget()); }

QString LinkAccessible::text(QAccessible::Text kind) const
{
    if (kind != QAccessible::Name || !label()->accessibleName().isEmpty())
        return QAccessibleWidget::text(kind);
    QTextDocument document;
    document.setHtml(label()->text());
    return document.toPlainText();
}

QStringList LinkAccessible::actionNames() const
{
    return QStringList { pressAction() } + QAccessibleWidget::actionNames();
}

void LinkAccessible::doAction(const QString& action)
{
    if (action != pressAction()) {
        QAccessibleWidget::doAction(action);
        return;
    }
    // The first link's address, handed on as a click on it hands it on.
    QTextDocument document;
    document.setHtml(label()->text());
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isAnchor()) {
                emit label()->linkActivated(it.fragment().charFormat().anchorHref());
                return;
            }
        }
    }
}

QAccessibleInterface* LinkAccessible::factory(const QString&, QObject* object)
{
    auto* label = qobject_cast<QLabel*>(object);
    if (label && label->objectName() == QLatin1String("updateLinkLabel"))
        return new LinkAccessible(label);
    return nullptr;
}

} // namespace launcher
