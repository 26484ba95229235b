// MSG_XFERREADY, MSG_CLOSEDSREQ and MSG_CLOSEDSOK, sent through a source
// manager's DSM_Entry.
//
// A TWAIN 2 manager that gave its entry points (DAT_ENTRYPOINT) gets them
// through its own DSM_Entry, with no library looked up. Otherwise the
// source does as a TWAIN 1.x source: it finds its manager by loading TWAIN_32.DLL. The TWAIN 2
// manager, TWAINDSM.DLL, drives such sources by handing out its own
// DSM_Entry when they look up TWAIN_32.DLL's; where that hand-over does not
// happen (Wine), the message would reach a TWAIN_32.DLL that nobody opened.
// So when TWAINDSM.DLL is in the process, the message goes to its DSM_Entry
// first, which is on Windows the very function the hand-over gives, and to
// TWAIN_32.DLL's when it refuses.
#include "protocol/notifications.h"

#include "platform/library.h"
#include "protocol/manager_services.h"
#include "protocol/image_transfers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

NotificationHook hook = nullptr;

// True when the manager's DSM_Entry took the message.
bool SendThrough(platform::LibraryHandle manager, TW_UINT16 msg) {
    auto entry = reinterpret_cast<DSMENTRYPROC>(platform::FindFunction(manager, "DSM_Entry"));
    return entry != nullptr &&
           entry(&sourceIdentity, &appIdentity, DG_CONTROL, DAT_NULL, msg, nullptr) == TWRC_SUCCESS;
}

int Notify(TW_UINT16 msg) {
    if (hook != nullptr) return hook(msg) == TWRC_SUCCESS ? 1 : 0;
    if (DSMENTRYPROC entry = ManagerDsmEntry()) {
        return entry(&sourceIdentity, &appIdentity, DG_CONTROL, DAT_NULL, msg, nullptr) == TWRC_SUCCESS ? 1 : 0;
    }
    platform::LibraryHandle twain2 = platform::FindLoadedLibrary("TWAINDSM.DLL");
    if (twain2 != nullptr && SendThrough(twain2, msg)) return 1;
    platform::LibraryHandle manager = platform::LoadLibraryByName("TWAIN_32.DLL");
    if (manager == nullptr) return 0;
    const bool sent = SendThrough(manager, msg);
    platform::FreeLibraryHandle(manager);
    return sent ? 1 : 0;
}

}  // namespace

int NotifyXferReady() {
    Trace("function  NotifyXferReady\r\n");
    const TW_INT32 before = sourceState;
    sourceState = 600;
    // A new image: a memory transfer of it starts at its first row, even
    // when the previous one was not asked past its end.
    ResetMemoryTransfer();
    const int sent = Notify(MSG_XFERREADY);
    if (sent == 0 && sourceState == 600) sourceState = before;
    return sent;
}

int NotifyCloseDSRequest() { return Notify(MSG_CLOSEDSREQ); }

int NotifyCloseDSOk() { return Notify(MSG_CLOSEDSOK); }

void SetNotificationHookForTesting(NotificationHook newHook) { hook = newHook; }
