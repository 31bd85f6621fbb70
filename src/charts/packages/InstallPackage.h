#pragma once
// Installing a package from the user interface: a space check, then the
// install on its own thread watched by the progress dialog. The caller's
// continuations run when it is over: 0 when every block is good, -1 when it
// failed, was cancelled, was refused or did not start.
#include "foundation/platform/DialogParent.h"

#include <string>

void InstallPackage(QWidget* parent, const std::string& packagePath);

// "The package \"<name>\" will take up <needed>, but the device has only
// <free> available.\n\nWould you like to continue?"
std::string NotEnoughSpaceText(const std::string& name, int64_t needed, int64_t free);

// The free bytes of the package's volume as the install sees them (tests).
void SetFreeSpaceForTesting(int64_t bytes); // 0: ask the volume
