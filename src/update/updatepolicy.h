#pragma once

#include <QString>

namespace launcher {

// The administrator's switch for the update check, machine-wide and outside the user's reach, per
// product: on Linux the file /etc/xdg/Nimbrel/Update.conf (the system-wide twin of the user's
// store of offered versions), key "check" in the group named after the product code or in the
// group "all"; on Windows the key HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Nimbrel\Update\<product
// code> or ...\Update\all, value "check". Off is false, no, off or 0 (any letter case; a DWORD 0);
// on is true, yes, on or 1. The product's own entry wins over "all"; anything else, or a file or
// key that cannot be read, leaves the check on. Off, no request is sent at all.
bool isUpdateCheckAllowed(const QString& product);

// Reads the switch from `location` (a file, or on Windows a registry path) from then on; empty:
// the system's. Only test programs call this: the launcher has no switch that leads here.
void setUpdatePolicyLocation(const QString& location);

} // namespace launcher
