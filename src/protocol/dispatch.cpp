// The dispatch of every DS_Entry call: caller filter, event processing, and
// the two tables that route a triplet by its DAT code.
#include "protocol/dispatch.h"

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

const TripletHandler controlTable[] = {
    {DAT_IDENTITY, IdentityHandler},
    {DAT_USERINTERFACE, UserInterfaceHandler},
    {DAT_CAPABILITY, CapabilityHandler},
    {DAT_STATUS, StatusHandler},
    {DAT_PENDINGXFERS, PendingXfersHandler},
    {DAT_SETUPMEMXFER, SetupMemXferHandler},
    {DAT_SETUPFILEXFER, SetupFileXferHandler},
    {DAT_XFERGROUP, XferGroupHandler},
    {DAT_ENTRYPOINT, EntryPointHandler},
    {DAT_CUSTOMDSDATA, CustomDsDataHandler},
    {0, nullptr},
};

const TripletHandler imageTable[] = {
    {DAT_IMAGEINFO, ImageInfoHandler},
    {DAT_IMAGELAYOUT, ImageLayoutHandler},
    {DAT_IMAGEMEMXFER, ImageMemXferHandler},
    {DAT_IMAGENATIVEXFER, ImageNativeXferHandler},
    {DAT_IMAGEFILEXFER, ImageFileXferHandler},
    {0, nullptr},
};

namespace {

// True when the caller is not the connected application. With nobody
// connected every caller is welcome, also one that passes no identity
// (source managers ask for the identity that way before opening).
bool IsForeignCaller(pTW_IDENTITY origin) {
    if (appIdentity.Id == 0) return false;
    if (!platform::IsReadable(origin, sizeof(TW_IDENTITY))) return true;
    return origin->Id != appIdentity.Id;
}

TW_UINT16 ProcessEvent(TW_MEMREF data) {
    Trace("Process event message at source\r\n");
    ScanSession* session = CurrentSession();
    SessionWindow* window = session != nullptr ? session->window() : nullptr;
    if (dialogWindow != nullptr && window != nullptr && platform::IsWritable(data, sizeof(TW_EVENT))) {
        auto* event = static_cast<TW_EVENT*>(data);
        if (window->TakeWindowMessage(event->pEvent)) {
            Trace("Process event Message directed to data source dialog\r\n");
            event->TWMessage = MSG_NULL;
            return TWRC_DSEVENT;
        }
    }
    Trace("Process event not ds event\r\n");
    return TWRC_NOTDSEVENT;
}

}  // namespace

TW_UINT16 Dispatch(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    // Another application's call changes nothing, not even the condition
    // code the connected application may still ask for. The source's
    // identity is no secret: a TWAIN 2 manager asks for it with no origin
    // when it lists the sources, also while one is open.
    const bool identityQuery = dg == DG_CONTROL && dat == DAT_IDENTITY && msg == MSG_GET;
    if (!identityQuery && IsForeignCaller(origin)) return TWRC_FAILURE;

    if (msg == MSG_PROCESSEVENT) return ProcessEvent(data);

    const TripletHandler* table = nullptr;
    if (dg == DG_CONTROL) {
        table = controlTable;
    } else if (dg == DG_IMAGE) {
        table = imageTable;
    } else {
        return TWRC_FAILURE;
    }

    const TripletRequest request{origin, dg, dat, msg, data};
    for (const TripletHandler* row = table; row->handler != nullptr; ++row) {
        if (row->dat == dat) return row->handler(&request);
    }
    conditionCode = TWCC_BADPROTOCOL;
    return TWRC_FAILURE;
}
