// What an INI file holds under a key, as QSettings reads it (Qt's escapes included), in UTF-8:
// the scenario rows' view of the user's store.
#include <QSettings>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 3)
        return 2;
    const QByteArray value = QSettings(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat)
                                 .value(argv[2])
                                 .toString()
                                 .toUtf8();
    std::fwrite(value.constData(), 1, size_t(value.size()), stdout);
    return 0;
}
