// The DG_CONTROL / DAT_CAPABILITY handler: finds the record for the
// application's capability code, refreshes the two feeder capabilities from
// the scanner, routes the message to the record, and answers
// CAP_SUPPORTEDCAPS, which has no record, itself. The TW_CAPABILITY and its
// container come from the application and are checked before use.
#include <cstddef>

#include "capabilities/capability_table.h"
#include "capabilities/container_block.h"
#include "module/source_app.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "ui/source_dialog.h"

using namespace containers;

namespace {

// The scanner's feeder as the dialog reports it now; without a dialog there
// is no feeder to report.
bool FeederEnabledNow() {
    SourceDialog* dialog = CurrentDialog();
    return dialog != nullptr && dialog->IsFeederEnabled();
}

bool FeederLoadedNow() {
    SourceDialog* dialog = CurrentDialog();
    return dialog != nullptr && dialog->IsFeederLoaded();
}

// CAP_SUPPORTEDCAPS whatever the message: a TW_ARRAY of 16-bit codes in a
// 50-byte block, whose last four bytes are spare.
TW_UINT16 AnswerSupportedCaps(TW_CAPABILITY& cap) {
    constexpr std::size_t kBlockSize = 50;
    static_assert(kArrayItemList + 2 * kSupportedCapsCount + 4 == kBlockSize, "supported caps block");
    cap.ConType = TWON_ARRAY;
    cap.hContainer = BuildBlock(kBlockSize, [](std::uint8_t* block) {
        PutU16(block, kItemType, TWTY_INT16);                                      // ItemType
        PutU32(block, kArrayNumItems, static_cast<std::uint32_t>(kSupportedCapsCount));  // NumItems
        for (std::size_t i = 0; i < kSupportedCapsCount; ++i) {
            PutU16(block, kArrayItemList + 2 * i, SupportedCapsList[i]);            // ItemList[i]
        }
    });
    if (cap.hContainer == nullptr) return Refuse(TWCC_LOWMEMORY);
    return TWRC_SUCCESS;
}

}  // namespace

TW_UINT16 CapabilityHandler(const TripletRequest* request) noexcept {
    conditionCode = TWCC_SUCCESS;

    // The records exist only while the source is open.
    if (!capabilityTable.IsBuilt()) return Refuse(TWCC_SEQERROR);

    auto* cap = WritableData<TW_CAPABILITY>(request);
    if (cap == nullptr) return Refuse(TWCC_BADVALUE);

    Capability* record = capabilityTable.Lookup(cap->Cap);
    if (record == nullptr) {
        if (cap->Cap == CAP_SUPPORTEDCAPS) return AnswerSupportedCaps(*cap);
        return Refuse(TWCC_BADCAP);
    }

    TW_UINT16 result = TWCC_SUCCESS;
    if (record->id == CAP_FEEDERENABLED || record->id == CAP_FEEDERLOADED) {
        // The feeder follows the scanner, not the application: every message,
        // MSG_SET included, is answered with the value read just now.
        const bool now = record->id == CAP_FEEDERENABLED ? FeederEnabledNow() : FeederLoadedNow();
        record->current = now ? 1 : 0;
        result = record->Get(*cap);
    } else {
        switch (request->msg) {
        case MSG_GET:
            result = record->Get(*cap);
            break;
        case MSG_GETCURRENT:
            result = record->GetCurrent(*cap);
            break;
        case MSG_GETDEFAULT:
            result = record->GetDefault(*cap);
            break;
        case MSG_SET:
            result = record->Set(*cap);
            break;
        case MSG_RESET:
            record->Reset();
            break;
        default:
            // MSG_GETFIRST, MSG_GETNEXT and the rest: accepted, nothing written.
            break;
        }
    }

    if (result != TWCC_SUCCESS) return Refuse(result);
    return TWRC_SUCCESS;
}
