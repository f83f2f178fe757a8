#include "applicationobject.h"

#include "fontteardown.h"
#include "messagefilter.h"
#include "windowsystem.h"

#include <QCoreApplication>
#include <QList>
#include <QPointer>
#include <QTranslator>

namespace launcher {

namespace {

    ApplicationObject* current = nullptr;
    // Installed ones, in the order they were installed.
    QList<QPointer<QTranslator>> translators;

} // namespace

ApplicationObject::ApplicationObject(int& argc, char** argv, bool windowSystem)
    : argc(argc)
    , argv(argv)
{
    current = this;
    if (windowSystem)
        makeWindowSystemObject();
    else
        application = new QCoreApplication(argc, argv);
}

ApplicationObject::~ApplicationObject()
{
    if (windowSystem) {
        // After the last window, before the window system's object.
        const FontTeardown fontTeardown;
    }
    delete application;
    translators.clear();
    current = nullptr;
}

void ApplicationObject::makeWindowSystemObject()
{
    // The core object goes first (there is only ever one), without the translators it owns.
    for (const QPointer<QTranslator>& translator : qAsConst(translators)) {
        if (translator)
            translator->setParent(nullptr);
    }
    delete application;
    application = nullptr;
    const WindowSystem& module = launcher::windowSystem();
    setConnectingToWindowSystem(true);
    application = module.makeApplication(argc, argv);
    setConnectingToWindowSystem(false);
    windowSystem = true;
    module.setLayoutDirection(direction);
    for (const QPointer<QTranslator>& translator : qAsConst(translators)) {
        if (translator) {
            translator->setParent(application);
            QCoreApplication::installTranslator(translator);
        }
    }
}

void ApplicationObject::useWindowSystem()
{
    if (current && !current->windowSystem)
        current->makeWindowSystemObject();
}

void ApplicationObject::setLayoutDirection(Qt::LayoutDirection direction)
{
    if (!current)
        return;
    current->direction = direction;
    if (current->windowSystem)
        launcher::windowSystem().setLayoutDirection(direction);
}

bool ApplicationObject::hasWindowSystem() { return current && current->windowSystem; }

void ApplicationObject::installTranslator(QTranslator* translator)
{
    if (!current)
        return;
    translator->setParent(current->application);
    translators << translator;
    QCoreApplication::installTranslator(translator);
}

} // namespace launcher
