#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <type_traits>

// Runs a test object in an application whose user settings live in a throw-away directory, set
// before anything opens a QSettings (which keeps the location for the whole process), so that a
// test never touches the real user's settings. A test class that takes a QString is given the
// directory.
template <typename Test>
int execWithOwnSettings(int argc, char* argv[], const QString& applicationName = QString())
{
    QTemporaryDir configHome;
    if (!configHome.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    QApplication application(argc, argv);
    if (!applicationName.isEmpty())
        QCoreApplication::setApplicationName(applicationName);
    if constexpr (std::is_constructible_v<Test, QString>) {
        Test test(configHome.path());
        return QTest::qExec(&test, argc, argv);
    } else {
        Test test;
        return QTest::qExec(&test, argc, argv);
    }
}
