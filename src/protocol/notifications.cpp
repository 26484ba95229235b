// MSG_XFERREADY and MSG_CLOSEDSREQ, sent through the source manager's
// DSM_Entry. The manager's library is loaded by name for each message and
// released afterwards.
#include "protocol/notifications.h"

#include "protocol/image_transfers.h"
#include "platform/library.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

NotificationHook hook = nullptr;

int Notify(TW_UINT16 msg) {
    if (hook != nullptr) {
        hook(msg);
        return 1;
    }
    platform::LibraryHandle manager = platform::LoadLibraryByName("TWAIN_32.DLL");
    if (manager == nullptr) return 0;
    auto entry = reinterpret_cast<DSMENTRYPROC>(platform::FindFunction(manager, "DSM_Entry"));
    if (entry == nullptr) {
        platform::FreeLibraryHandle(manager);
        return 0;
    }
    entry(&sourceIdentity, &appIdentity, DG_CONTROL, DAT_NULL, msg, nullptr);
    platform::FreeLibraryHandle(manager);
    return 1;
}

}  // namespace

int NotifyXferReady() {
    Trace("function  NotifyXferReady\r\n");
    sourceState = 600;
    // A new image: a memory transfer of it starts at its first row, even
    // when the previous one was not asked past its end.
    ResetMemoryTransfer();
    return Notify(MSG_XFERREADY);
}

int NotifyCloseDSRequest() { return Notify(MSG_CLOSEDSREQ); }

void SetNotificationHookForTesting(NotificationHook newHook) { hook = newHook; }
