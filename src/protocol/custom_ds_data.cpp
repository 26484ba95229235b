// DG_CONTROL / DAT_CUSTOMDSDATA, while the source is open and not enabled:
// MSG_GET hands the application the whole set-up as one block (its format
// is in setup_block.h), MSG_SET takes such a block back, in this session or
// a later one.
//
// What the block holds:
// - every capability the application may set, as the fields its MSG_SET
//   changes: the current value; the bounds and step a TW_RANGE set leaves;
//   the allowed values a TW_ENUMERATION set leaves (for an enumeration the
//   current value is the value itself, not its index in the list MSG_GET
//   answers, since that list depends on the allowed values);
// - the scan region the layout is made from, in 1/300 inch (so the units
//   never round it), and whether the application fixed it;
// - the image type the dialog shows.
// Read-only capabilities (the scanner's, the physical sizes) are the
// scanner's own and are not kept; neither is the transfer's file name.
//
// MSG_SET trusts nothing in the block. Beyond its length, version and
// checksum, each capability is put back by the MSG_SETs an application
// would send (range, enumeration, one value) through the capability handler
// itself, so a value that handler would refuse is refused here too; what
// the record holds afterwards must be exactly what the block said. The
// block is applied whole or not at all: the capabilities, the region and
// the image type are kept before and put back when any part is refused.
#include <cstring>

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "capabilities/capability_table.h"
#include "capabilities/container_block.h"
#include "platform/global_memory.h"
#include "platform/pointer_check.h"
#include "protocol/handlers.h"
#include "protocol/manager_services.h"
#include "protocol/reporting.h"
#include "protocol/setup_block.h"
#include "protocol/source_globals.h"

using namespace containers;

namespace {

const char kPrefix[] = "General failure in response to DAT_CUSTOMDSDATA.  ";

// The scratch container every MSG_SET of the replay is written into: room
// for an enumeration of all 32 values a record can allow.
constexpr std::size_t kScratchSize = kEnumItemList + 2 * 32;

// The capabilities the block keeps: those the application may set, but for
// the two whose one value is the scanner's (its feeder switch, and simplex).
bool Settable(const Capability& record) {
    return (record.operations & TWQC_SET) != 0 && record.id != CAP_FEEDERENABLED && record.id != CAP_DUPLEXENABLED;
}

// A region with no area is the whole bed; any other lies on the bed, the
// right of its left and below its top.
bool OnTheBed(const setup_block::Region& r) {
    if (static_cast<const Rect32&>(r) == Rect32{}) return true;
    std::int32_t width = 0, height = 0;
    if (!ScannerBed(capabilityTable, &width, &height)) return true;
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= width && r.bottom <= height;
}

SessionWindow* CurrentWindow() {
    ScanSession* session = CurrentSession();
    return session != nullptr ? session->window() : nullptr;
}

// A number as an item of the record's type, as the capability's own
// containers carry it: a TW_FIX32 held in hundredths (gamma, scaling) is its
// fixed-point number, not a whole one.
TW_UINT32 Item(const Capability& record, TW_INT16 value) { return record.Item(value); }

setup_block::SetupBlock CurrentSetup(SessionWindow& window) {
    setup_block::SetupBlock block;
    for (std::size_t i = 0; i < capabilityTable.Size(); ++i) {
        const Capability& record = capabilityTable.Slot(i);
        if (!Settable(record)) continue;
        block.capabilities[block.capabilityCount++] = {record.id,      record.current, record.minimum,
                                                       record.maximum, record.step,    record.allowedMask};
    }
    block.haveRegion = true;
    window.GetScanRegion(&block.region.left, &block.region.top, &block.region.right, &block.region.bottom);
    block.region.locked = window.IsScanRegionLocked();
    block.haveImageType = true;
    block.imageType = static_cast<std::uint16_t>(window.GetImageTypeIndex());
    return block;
}

TW_UINT16 GetSetup(const TripletRequest* request) {
    auto* data = WritableData<TW_CUSTOMDSDATA>(request);
    if (data == nullptr) return Refuse(TWCC_BADVALUE, kPrefix);
    SessionWindow* window = CurrentWindow();
    if (window == nullptr) return Refuse(TWCC_BUMMER, kPrefix);
    const setup_block::SetupBlock block = CurrentSetup(*window);
    const std::size_t size = setup_block::EncodedSize(block);
    platform::GlobalHandle handle = BuildBlock(size, [&](std::uint8_t* bytes) { setup_block::Encode(block, bytes); });
    if (handle == nullptr) return Refuse(TWCC_LOWMEMORY, kPrefix);
    data->InfoLength = static_cast<TW_UINT32>(size);
    data->hData = handle;
    return TWRC_SUCCESS;
}

// One MSG_SET through the capability handler, with the container already
// written into `scratch`.
TW_UINT16 SendSet(TW_UINT16 id, TW_UINT16 conType, platform::GlobalHandle scratch) {
    TW_CAPABILITY cap{id, conType, scratch};
    const TripletRequest request{nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap};
    return CapabilityHandler(&request) == TWRC_SUCCESS ? TWCC_SUCCESS : conditionCode;
}

// Puts one capability back as the block holds it, with the MSG_SETs that
// lead there from the record as it is: a range for bounds or step, an
// enumeration for the allowed values, a one value for the current value
// when neither of those set it.
TW_UINT16 Replay(Capability& record, const setup_block::CapabilityState& wanted, platform::GlobalHandle scratch) {
    platform::LockedBlock locked(scratch);
    if (!locked) return TWCC_LOWMEMORY;
    std::uint8_t* block = locked.bytes();
    std::memset(block, 0, kScratchSize);
    PutU16(block, kItemType, record.itemType);  // ItemType

    if (wanted.minimum != record.minimum || wanted.maximum != record.maximum || wanted.step != record.step) {
        PutU32(block, kRangeMinValue, Item(record, wanted.minimum));     // MinValue
        PutU32(block, kRangeMaxValue, Item(record, wanted.maximum));     // MaxValue
        PutU32(block, kRangeStepSize, Item(record, wanted.step));        // StepSize
        PutU32(block, kRangeCurrentValue, Item(record, wanted.current));  // CurrentValue
        if (const TW_UINT16 cc = SendSet(record.id, TWON_RANGE, scratch); cc != TWCC_SUCCESS) return cc;
    }
    if (wanted.allowed != record.allowedMask) {
        // One item per allowed value; the item of the current value's bit is
        // the current value itself, which MSG_SET reads modulo 32.
        const unsigned currentBit = static_cast<unsigned>(wanted.current) & 31;
        TW_UINT32 count = 0;
        TW_UINT32 currentIndex = 0xFFFFFFFF;
        for (unsigned value = 0; value < 32; ++value) {
            if ((wanted.allowed >> value & 1) == 0) continue;
            std::uint16_t item = static_cast<std::uint16_t>(value);
            if (value == currentBit) {
                item = static_cast<std::uint16_t>(wanted.current);
                currentIndex = count;
            }
            PutU16(block, kEnumItemList + 2 * std::size_t{count++}, item);  // ItemList[i]
        }
        PutU16(block, kItemType, TWTY_UINT16);          // ItemType
        PutU32(block, kEnumNumItems, count);            // NumItems
        PutU32(block, kEnumCurrentIndex, currentIndex);  // CurrentIndex
        PutU32(block, kEnumDefaultIndex, 0);            // DefaultIndex
        if (const TW_UINT16 cc = SendSet(record.id, TWON_ENUMERATION, scratch); cc != TWCC_SUCCESS) return cc;
    }
    if (wanted.current != record.current) {
        PutU16(block, kItemType, record.itemType);                    // ItemType
        PutU32(block, kOneValueItem, Item(record, wanted.current));  // Item
        if (const TW_UINT16 cc = SendSet(record.id, TWON_ONEVALUE, scratch); cc != TWCC_SUCCESS) return cc;
    }
    const bool same = record.current == wanted.current && record.minimum == wanted.minimum &&
                      record.maximum == wanted.maximum && record.step == wanted.step &&
                      record.allowedMask == wanted.allowed;
    return same ? TWCC_SUCCESS : TWCC_BADVALUE;
}

// Capabilities the application may set, each at most once, and no other.
// A block kept by an earlier build of this source lacks the capabilities
// added since: those take their reset values when it is applied.
bool CoversEveryCapability(const setup_block::SetupBlock& block) {
    if (!block.haveRegion || !block.haveImageType) return false;
    for (std::size_t i = 0; i < block.capabilityCount; ++i) {
        const Capability* record = capabilityTable.Lookup(block.capabilities[i].id);
        if (record == nullptr || !Settable(*record)) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (block.capabilities[j].id == block.capabilities[i].id) return false;
        }
    }
    return true;
}

bool InBlock(const setup_block::SetupBlock& block, TW_UINT16 id) {
    for (std::size_t i = 0; i < block.capabilityCount; ++i) {
        if (block.capabilities[i].id == id) return true;
    }
    return false;
}

TW_UINT16 Apply(const setup_block::SetupBlock& block, SessionWindow& window) {
    for (std::size_t i = 0; i < capabilityTable.Size(); ++i) {
        const Capability& record = capabilityTable.Slot(i);
        if (!Settable(record) || InBlock(block, record.id)) continue;
        // The value reset to comes back in a container of its own.
        TW_CAPABILITY cap{record.id, TWON_ONEVALUE, nullptr};
        const TripletRequest request{nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &cap};
        const bool reset = CapabilityHandler(&request) == TWRC_SUCCESS;
        application_memory::Free(cap.hContainer);
        if (!reset) return conditionCode;
    }
    for (std::size_t i = 0; i < block.capabilityCount; ++i) {
        Capability* record = capabilityTable.Lookup(block.capabilities[i].id);
        if (record == nullptr) return TWCC_BADVALUE;
        platform::GlobalHandle scratch = platform::GlobalAllocate(platform::kGmemShareable, kScratchSize);
        if (scratch == nullptr) return TWCC_LOWMEMORY;
        const TW_UINT16 cc = Replay(*record, block.capabilities[i], scratch);
        platform::GlobalFreeBlock(scratch);
        if (cc != TWCC_SUCCESS) return cc;
    }
    // A later capability may move an earlier one (the two scalings are kept
    // equal, the bit depth follows the pixel type): the set-up taken is the
    // block's own in every capability, or none.
    for (std::size_t i = 0; i < block.capabilityCount; ++i) {
        const setup_block::CapabilityState& wanted = block.capabilities[i];
        const Capability* record = capabilityTable.Lookup(wanted.id);
        if (record == nullptr || record->current != wanted.current || record->minimum != wanted.minimum ||
            record->maximum != wanted.maximum || record->step != wanted.step || record->allowedMask != wanted.allowed) {
            return TWCC_BADVALUE;
        }
    }

    // The image type must be one the negotiated pixel types allow, as the
    // dialog's list offers them at the next enabling.
    const Capability* pixelType = capabilityTable.Lookup(ICAP_PIXELTYPE);
    if (pixelType == nullptr || block.imageType > 2 ||
        ((pixelType->supportedMask & pixelType->allowedMask) >> block.imageType & 1) == 0) {
        return TWCC_BADVALUE;
    }
    const setup_block::Region& r = block.region;
    if (!OnTheBed(r)) return TWCC_BADVALUE;
    if (static_cast<const Rect32&>(r) == Rect32{}) {
        window.ResetScanRegion();  // kept by an older source: no region, the whole bed
    } else {
        window.RestoreScanRegionTo(r.left, r.top, r.right, r.bottom, r.locked);
    }
    window.OfferImageTypes(pixelType->supportedMask & pixelType->allowedMask, block.imageType);
    return window.GetImageTypeIndex() == block.imageType ? TWCC_SUCCESS : TWCC_BADVALUE;
}

// The block's bytes as the application's handle holds them, bounded by the
// handle's real size: InfoLength is only the application's word.
TW_UINT16 SetSetup(const TripletRequest* request) {
    const auto* data = ReadableData<TW_CUSTOMDSDATA>(request);
    if (data == nullptr) return Refuse(TWCC_BADVALUE, kPrefix);
    const TW_CUSTOMDSDATA given = *data;
    SessionWindow* window = CurrentWindow();
    if (window == nullptr) return Refuse(TWCC_BUMMER, kPrefix);
    if (given.hData == nullptr || given.InfoLength == 0 || given.InfoLength > setup_block::kLargestBlock) {
        return Refuse(TWCC_BADVALUE, kPrefix);
    }

    setup_block::SetupBlock block;
    {
        platform::LockedBlock locked(given.hData);
        if (!locked) return Refuse(TWCC_BADVALUE, kPrefix);
        if (platform::GlobalBlockSize(given.hData) < given.InfoLength ||
            !platform::IsReadable(locked.bytes(), given.InfoLength) ||
            !setup_block::Decode(locked.bytes(), given.InfoLength, &block)) {
            return Refuse(TWCC_BADVALUE, kPrefix);
        }
    }
    if (!CoversEveryCapability(block)) return Refuse(TWCC_BADVALUE, kPrefix);

    // What the block may change, kept to be put back if any part is refused
    // (or memory runs out half way).
    const CapabilityTable savedTable = capabilityTable;
    setup_block::Region saved;
    window->GetScanRegion(&saved.left, &saved.top, &saved.right, &saved.bottom);
    saved.locked = window->IsScanRegionLocked();
    const int savedType = window->GetImageTypeIndex();

    TW_UINT16 cc = TWCC_LOWMEMORY;
    try {
        cc = Apply(block, *window);
    } catch (...) {
    }
    if (cc == TWCC_SUCCESS) return TWRC_SUCCESS;
    capabilityTable = savedTable;
    window->RestoreScanRegionTo(saved.left, saved.top, saved.right, saved.bottom, saved.locked);
    try {
        const Capability* pixelType = capabilityTable.Lookup(ICAP_PIXELTYPE);
        if (pixelType != nullptr && window->GetImageTypeIndex() != savedType) {
            window->OfferImageTypes(pixelType->supportedMask & pixelType->allowedMask, savedType);
        }
    } catch (...) {
        // The list is filled afresh at the next enabling in any case.
    }
    // Whatever the capability handler said, for the application the block is bad.
    return Refuse(cc == TWCC_LOWMEMORY ? TWCC_LOWMEMORY : TWCC_BADVALUE, kPrefix);
}

}  // namespace

TW_UINT16 CustomDsDataHandler(const TripletRequest* request) noexcept {
    if (request->msg != MSG_GET && request->msg != MSG_SET) return Refuse(TWCC_BADPROTOCOL, kPrefix);
    if (sourceState != 400 || !capabilityTable.IsBuilt()) return Refuse(TWCC_SEQERROR, kPrefix);
    try {
        return request->msg == MSG_GET ? GetSetup(request) : SetSetup(request);
    } catch (...) {
        return Refuse(TWCC_LOWMEMORY, kPrefix);
    }
}
