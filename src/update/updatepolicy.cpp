#include "updatepolicy.h"

#include "common/userstore.h"

#include <QFileInfo>
#include <QSettings>

namespace launcher {

namespace {

    QString& locationOverride()
    {
        static QString location;
        return location;
    }

    // Whether an entry says "off": a number 0, or one of the words for it.
    bool isOff(const QVariant& entry)
    {
        const int type = entry.userType();
        if (type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::LongLong
            || type == QMetaType::ULongLong)
            return entry.toLongLong() == 0;
        const QString word = entry.toString().toLower();
        return word == QLatin1String("false") || word == QLatin1String("no")
            || word == QLatin1String("off") || word == QLatin1String("0");
    }

} // namespace

bool isUpdateCheckAllowed(const QString& product)
{
    QString location = locationOverride();
#ifdef Q_OS_WIN
    if (location.isEmpty())
        location = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Nimbrel\\Update");
    const QSettings policy(location, QSettings::NativeFormat);
#else
    if (location.isEmpty())
        location = QStringLiteral("/etc/xdg/Nimbrel/Update.conf");
    // Only a regular file of a sensible size is read (see userstore.h): a FIFO would block.
    const QFileInfo file(location);
    if (!file.isFile() || file.size() > maxUserStoreSize)
        return true;
    const QSettings policy(location, QSettings::IniFormat);
#endif
    const QVariant own = policy.value(product + QStringLiteral("/check"));
    return !isOff(own.isValid() ? own : policy.value(QStringLiteral("all/check")));
}

void setUpdatePolicyLocation(const QString& location) { locationOverride() = location; }

} // namespace launcher
