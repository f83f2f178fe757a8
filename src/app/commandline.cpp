#include "commandline.h"

#include <QFile>
#include <QStringView>

#ifdef Q_OS_WIN
#include <windows.h>

#include <shellapi.h>
#endif

namespace launcher {

namespace {

    enum class Value {
        None,
        // The next argument, whatever it holds; taken out alone when it is the last one.
        Next,
        // The next argument, whatever it holds; left in place when it is the last one.
        NextIfAny,
    };

    struct QtOption {
        const char* name; // without its leading dash
        Value value;
    };

    // As QGuiApplication, QApplication and the xcb platform plugin of Qt 5.15 take them.
    const QtOption qtOptions[] = {
        { "platform", Value::Next },
        { "platformpluginpath", Value::Next },
        { "platformtheme", Value::Next },
        { "plugin", Value::Next },
        { "qwindowgeometry", Value::Next },
        { "qwindowicon", Value::Next },
        { "qwindowtitle", Value::Next },
        { "geometry", Value::Next },
        { "title", Value::Next },
        { "icon", Value::Next },
        { "session", Value::NextIfAny },
        { "display", Value::NextIfAny },
        { "name", Value::NextIfAny },
        { "visual", Value::NextIfAny },
        { "style", Value::NextIfAny },
        { "stylesheet", Value::NextIfAny },
        { "qmljsdebugger", Value::NextIfAny },
        { "reverse", Value::None },
        { "widgetcount", Value::None },
        { "testability", Value::None },
        { "qdevel", Value::None },
        { "nograb", Value::None },
        { "dograb", Value::None },
    };

    // Written with their value after "=".
    const char* const qtOptionsWithValue[] = { "style=", "stylesheet=", "qmljsdebugger=" };

} // namespace

QStringList commandLineArguments(int argc, char* argv[])
{
    QStringList arguments;
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    int count = 0;
    if (wchar_t** split = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        // As the units stand: fromWCharArray() would take an argument's leading U+FEFF or U+FFFE
        // for a byte order mark, dropped or read as the rest byte-swapped.
        for (int i = 0; i < count; ++i)
            arguments << QString(reinterpret_cast<const QChar*>(split[i]), int(::wcslen(split[i])));
        ::LocalFree(split);
    }
#else
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
#endif
    return arguments;
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("-f")) {
            result.showWindow = true;
        } else if (argument == QLatin1String("-s")) {
            result.skipStart = true;
        } else if (argument == QLatin1String("-l")) {
            // The value is taken whatever it looks like; a trailing "-l" has none and is dropped.
            if (i + 1 < arguments.size())
                result.language = arguments.at(++i);
        } else {
            result.passThrough.append(i);
        }
    }
    return result;
}

QList<int> nonQtArguments(const QStringList& arguments)
{
    QList<int> kept;
    if (!arguments.isEmpty())
        kept.append(0);
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        // "-x" and "--x" alike.
        QStringView option;
        if (argument.startsWith(QLatin1String("--")))
            option = QStringView(argument).mid(2);
        else if (argument.startsWith(QLatin1Char('-')))
            option = QStringView(argument).mid(1);
        bool isQt = false;
        for (const QtOption& qt : qtOptions) {
            if (option != QLatin1String(qt.name))
                continue;
            const bool last = i + 1 == arguments.size();
            if (qt.value == Value::NextIfAny && last)
                break;
            isQt = true;
            if (qt.value != Value::None && !last)
                ++i;
            break;
        }
        for (const char* prefix : qtOptionsWithValue)
            isQt = isQt || option.startsWith(QLatin1String(prefix));
        if (!isQt)
            kept.append(i);
    }
    return kept;
}

} // namespace launcher
