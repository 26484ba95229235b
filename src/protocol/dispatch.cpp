// The dispatch of every DS_Entry call: caller filter, event processing, and
// the two tables that route a triplet by its DAT code.
#include "protocol/dispatch.h"

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "protocol/application_rules.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

// The messages of each triplet. A TWAIN 2 application's message outside
// these is refused as a protocol error in every state.
constexpr TW_UINT16 kCapabilityMessages[] = {
    MSG_GET,     MSG_GETCURRENT, MSG_GETDEFAULT, MSG_SET,          MSG_RESET,         MSG_RESETALL,
    MSG_QUERYSUPPORT, MSG_GETHELP, MSG_GETLABEL, MSG_GETLABELENUM, MSG_SETCONSTRAINT, MSG_NULL};
constexpr TW_UINT16 kIdentityMessages[] = {MSG_GET, MSG_OPENDS, MSG_CLOSEDS, MSG_NULL};
constexpr TW_UINT16 kUserInterfaceMessages[] = {MSG_ENABLEDS, MSG_ENABLEDSUIONLY, MSG_DISABLEDS, MSG_NULL};
constexpr TW_UINT16 kPendingXfersMessages[] = {MSG_GET, MSG_ENDXFER, MSG_RESET, MSG_NULL};
constexpr TW_UINT16 kGetOnly[] = {MSG_GET, MSG_NULL};
constexpr TW_UINT16 kSetOnly[] = {MSG_SET, MSG_NULL};
constexpr TW_UINT16 kGetAndSet[] = {MSG_GET, MSG_SET, MSG_NULL};
constexpr TW_UINT16 kSetupFileMessages[] = {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_SET, MSG_NULL};
constexpr TW_UINT16 kXferGroupMessages[] = {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET, MSG_SET, MSG_NULL};
constexpr TW_UINT16 kJpegCompressionMessages[] = {MSG_GET, MSG_GETDEFAULT, MSG_RESET, MSG_SET, MSG_NULL};
constexpr TW_UINT16 kImageLayoutMessages[] = {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_SET, MSG_RESET, MSG_NULL};

bool Knows(const TripletHandler& row, TW_UINT16 msg) {
    for (const TW_UINT16* known = row.messages; *known != MSG_NULL; ++known) {
        if (*known == msg) return true;
    }
    return false;
}

}  // namespace

const TripletHandler controlTable[] = {
    {DAT_IDENTITY, IdentityHandler, kIdentityMessages},
    {DAT_USERINTERFACE, UserInterfaceHandler, kUserInterfaceMessages},
    {DAT_CAPABILITY, CapabilityHandler, kCapabilityMessages},
    {DAT_STATUS, StatusHandler, kGetOnly},
    {DAT_PENDINGXFERS, PendingXfersHandler, kPendingXfersMessages},
    {DAT_SETUPMEMXFER, SetupMemXferHandler, kGetOnly},
    {DAT_SETUPFILEXFER, SetupFileXferHandler, kSetupFileMessages},
    {DAT_XFERGROUP, XferGroupHandler, kXferGroupMessages},
    {DAT_ENTRYPOINT, EntryPointHandler, kSetOnly},
    {DAT_CUSTOMDSDATA, CustomDsDataHandler, kGetAndSet},
    {0, nullptr, nullptr},
};

const TripletHandler imageTable[] = {
    {DAT_IMAGEINFO, ImageInfoHandler, kGetOnly},
    {DAT_IMAGELAYOUT, ImageLayoutHandler, kImageLayoutMessages},
    {DAT_IMAGEMEMXFER, ImageMemXferHandler, kGetOnly},
    {DAT_IMAGENATIVEXFER, ImageNativeXferHandler, kGetOnly},
    {DAT_IMAGEFILEXFER, ImageFileXferHandler, kGetOnly},
    {DAT_EXTIMAGEINFO, ExtImageInfoHandler, kGetOnly},
    {DAT_JPEGCOMPRESSION, JpegCompressionHandler, kJpegCompressionMessages},
    {0, nullptr, nullptr},
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
        if (row->dat != dat) continue;
        if (CurrentApplicationRules().checkMessageBeforeState && !Knows(*row, msg)) {
            conditionCode = TWCC_BADPROTOCOL;
            return TWRC_FAILURE;
        }
        return row->handler(&request);
    }
    conditionCode = TWCC_BADPROTOCOL;
    return TWRC_FAILURE;
}
