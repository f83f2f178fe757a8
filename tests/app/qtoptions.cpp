// What a real QApplication leaves of its command line: the arguments after the program, each
// ended by a NUL, on standard output.
#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    for (const QString& argument : QCoreApplication::arguments().mid(1))
        std::fwrite(
            argument.toUtf8().append('\0').constData(), 1, argument.toUtf8().size() + 1, stdout);
    return 0;
}
