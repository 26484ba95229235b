// DAT_PENDINGXFERS: counts transfers off the CAP_XFERCOUNT record (slot 0
// of the capability table) and leaves state 600 when none remain. While a
// batch goes on, each MSG_ENDXFER sets the next scan up before it returns,
// so that the application's next DAT_IMAGEINFO and transfer describe and
// deliver a new image; a TWAIN 1.x application carries on from state 600
// by itself, without another MSG_XFERREADY.
#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "capabilities/capability_table.h"
#include "protocol/handlers.h"
#include "protocol/image_transfers.h"
#include "protocol/notifications.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {
const char kPrefix[] = "General failure in response to DAT_PENDINGXFER.  ";

// No image is pending any more: the window's controls act again.
void BackToEnabled() {
    sourceState = 500;
    ScanSession* session = CurrentSession();
    if (session != nullptr && session->window() != nullptr) session->window()->HoldSetup(false);
}
}

TW_UINT16 PendingXfersHandler(const TripletRequest* request) noexcept {
    Capability& count = capabilityTable.Slot(0);
    switch (request->msg) {
        case MSG_GET: {
            if (sourceState < 400 || sourceState > 600) return Refuse(TWCC_SEQERROR, kPrefix);
            auto* pending = WritableData<TW_PENDINGXFERS>(request);
            if (pending == nullptr) return Refuse(TWCC_BADVALUE, kPrefix);
            pending->Count = static_cast<TW_UINT16>(count.current);
            return TWRC_SUCCESS;
        }
        case MSG_ENDXFER: {
            if (sourceState != 600) return Refuse(TWCC_SEQERROR);
            auto* pending = WritableData<TW_PENDINGXFERS>(request);
            if (pending == nullptr) return Refuse(TWCC_BADVALUE, kPrefix);
            ScanSession* session = CurrentSession();
            if (scanInProgress && session != nullptr) session->EndScan();
            bool more = false;
            try {
                more = session != nullptr && session->ContinueBatch(count.current);
            } catch (...) {
                // Memory ran out setting the next scan up. Nothing is counted
                // off and the state stays: asking again sets it up again.
                return Refuse(TWCC_LOWMEMORY, kPrefix);
            }
            if (more) {
                if (count.current > 1) --count.current;
                scanInProgress = 0;
                ResetMemoryTransfer();
                // -1, as many as the feeder holds, reads 0xFFFF while more may come.
                pending->Count = static_cast<TW_UINT16>(count.current);
                return TWRC_SUCCESS;
            }
            BackToEnabled();
            count.current = -1;
            pending->Count = 0;
            NotifyCloseDSRequest();
            return TWRC_SUCCESS;
        }
        case MSG_RESET: {
            if (sourceState != 600) return Refuse(TWCC_SEQERROR, kPrefix);
            auto* pending = WritableData<TW_PENDINGXFERS>(request);
            if (pending == nullptr) return Refuse(TWCC_BADVALUE, kPrefix);
            if (ScanSession* session = CurrentSession()) {
                session->EndProgress();
                session->DropHeldScan();
                session->DropCodedStream();
                session->EndDocument();
            }
            BackToEnabled();
            pending->Count = 0;
            count.current = 0;
            return TWRC_SUCCESS;
        }
        default:
            return Refuse(TWCC_BADPROTOCOL, kPrefix);
    }
}
