#include "run.h"

#include "applicationobject.h"
#include "i18n/launchertranslator.h"
#include "starttarget.h"
#include "target.h"
#include "update/checkupdate.h"
#include "update/updateinfo.h"
#include "update/updateoffer.h"
#include "windowsystem.h"

namespace launcher {

namespace {

    // Language: chooses the user-interface language and installs the translator that answers
    // every text requested by identifier. Must come before anything shows text.
    void setUpLanguage(const QString& language)
    {
        // Owned by the application object, and moved to the window system's when that one
        // replaces it. Installing reports false (no compiled translation file is loaded), which
        // changes nothing: the translator is asked all the same.
        auto* translator = new LauncherTranslator(nullptr, language);
        ApplicationObject::installTranslator(translator);
        ApplicationObject::setLayoutDirection(translator->layoutDirection());
    }

    // Update step: asks the download server for a newer version and offers it once.
    // It never ends the launch and never changes the Target.
    void offerUpdate(CheckUpdate& checkUpdate, const Target& target, UpdateInfo& updateInfo)
    {
        offerNewerVersion(checkUpdate, target, updateInfo);
    }

    // Window path ("-f"): the result of the window's modal run.
    int showLauncherWindow(Target& target, const UpdateInfo& updateInfo)
    {
        ApplicationObject::useWindowSystem();
        return windowSystem().showLauncher(target, updateInfo);
    }

} // namespace

int run(Target& target, const QString& language, bool showWindow)
{
    setUpLanguage(language);
    // Both live until the sequence returns: the window reads the result, and an exchange the
    // wait gave up on is abandoned only then.
    CheckUpdate checkUpdate;
    UpdateInfo updateInfo;
    offerUpdate(checkUpdate, target, updateInfo);

    if (!showWindow) {
        startTarget(target);
        return 1;
    }
    return showLauncherWindow(target, updateInfo);
}

} // namespace launcher
