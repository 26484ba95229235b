// Module-wide state of the source protocol. It lives as long as the module
// and is touched only on the application's thread.
#pragma once

#include <string>

#include "twain/twain.h"

// The source's TWAIN state times 100: 300, 400, 500 or 600.
extern TW_INT32 sourceState;
// A transfer is reading from the scanner, or a memory transfer has not
// delivered its last strip yet.
extern TW_UINT32 scanInProgress;

// This source's identity, and the connected application's (Id 0: none).
extern TW_IDENTITY sourceIdentity;
extern TW_IDENTITY appIdentity;

// The file a file transfer writes; set by DAT_SETUPFILEXFER.
extern std::string transferFileName;

// Puts every module-wide variable back as the module was loaded, for the
// native tests that play several modules in one process.
void ResetModuleState();
