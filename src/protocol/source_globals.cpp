// The module-wide protocol state and its reset.
#include "protocol/source_globals.h"

#include <cstring>

#include "device/error_message.h"
#include "protocol/image_transfers.h"
#include "protocol/manager_services.h"
#include "protocol/reporting.h"

TW_INT32 sourceState = 300;
TW_UINT32 scanInProgress = 0;
TW_IDENTITY sourceIdentity = {};
TW_IDENTITY appIdentity = {};
std::string transferFileName;

void ResetModuleState() {
    sourceState = 300;
    scanInProgress = 0;
    std::memset(&sourceIdentity, 0, sizeof sourceIdentity);
    std::memset(&appIdentity, 0, sizeof appIdentity);
    transferFileName.clear();
    conditionCode = TWCC_SUCCESS;
    dialogWindow = nullptr;
    ResetMemoryTransfer();
    ForgetManagerEntryPoints();
    AllowErrorBoxes(true);
}
