#include "target.h"

#include <QByteArray>
#include <QSettings>
#include <QVariant>

namespace launcher {

namespace {

    // The product name goes through its bytes so that an embedded NUL ends it, as it would for
    // a C string; everything before it is UTF-8.
    QString textBeforeNul(const QVariant& value)
    {
        const QByteArray bytes = value.toByteArray();
        if (bytes.isNull())
            return QString();
        const int nul = bytes.indexOf('\0');
        return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
    }

} // namespace

Target::Target(QSettings& settings, QObject* parent)
    : QObject(parent)
{
    settings.beginGroup(QStringLiteral("target"));
    name = settings.value(QStringLiteral("name")).toString();
    product = settings.value(QStringLiteral("product")).toString();
    productName = textBeforeNul(settings.value(QStringLiteral("product_name")));
    version = settings.value(QStringLiteral("version")).toString();
    variant = settings.value(QStringLiteral("variant")).toString();
    locale = settings.value(QStringLiteral("locale")).toString();
    settings.endGroup();
}

} // namespace launcher
