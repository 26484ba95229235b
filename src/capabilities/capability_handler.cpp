// The DG_CONTROL / DAT_CAPABILITY handler: finds the record for the
// application's capability code, refreshes the feeder's capabilities from
// the scanner, routes the message to the record, and answers the two lists
// that have no record (CAP_SUPPORTEDCAPS, CAP_SUPPORTEDDATS), MSG_QUERYSUPPORT
// and MSG_RESETALL itself. The TW_CAPABILITY and its container come from the
// application and are checked before use.
//
// What differs between a TWAIN 2 application and a 1.x one (the condition
// codes of refusals, booleans as enumerations, negotiation in state 4 only,
// CAP_XFERCOUNT 0) is asked of the application's rules.
#include <algorithm>
#include <array>
#include <cstddef>

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "capabilities/capability_table.h"
#include "capabilities/compression_rules.h"
#include "capabilities/container_block.h"
#include "capabilities/page_sizes.h"
#include "capabilities/page_turn.h"
#include "imaging/units.h"
#include "protocol/application_rules.h"
#include "protocol/extended_image_info.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

using namespace containers;

namespace {

// The triplets the source answers, as CAP_SUPPORTEDDATS lists them: the
// data group in the high word, the DAT in the low one.
constexpr TW_UINT32 kSupportedDats[] = {
    DG_CONTROL << 16 | DAT_CAPABILITY,      DG_CONTROL << 16 | DAT_EVENT,          DG_CONTROL << 16 | DAT_IDENTITY,
    DG_CONTROL << 16 | DAT_PENDINGXFERS,    DG_CONTROL << 16 | DAT_SETUPMEMXFER,   DG_CONTROL << 16 | DAT_SETUPFILEXFER,
    DG_CONTROL << 16 | DAT_STATUS,          DG_CONTROL << 16 | DAT_USERINTERFACE,  DG_CONTROL << 16 | DAT_XFERGROUP,
    DG_CONTROL << 16 | DAT_ENTRYPOINT,      DG_CONTROL << 16 | DAT_CUSTOMDSDATA,   DG_IMAGE << 16 | DAT_IMAGEINFO,
    DG_IMAGE << 16 | DAT_IMAGELAYOUT,       DG_IMAGE << 16 | DAT_IMAGEMEMXFER,     DG_IMAGE << 16 | DAT_IMAGENATIVEXFER,
    DG_IMAGE << 16 | DAT_IMAGEFILEXFER,     DG_IMAGE << 16 | DAT_EXTIMAGEINFO,     DG_IMAGE << 16 | DAT_JPEGCOMPRESSION,
};

// The scanner's feeder as the session reports it now; without a session there
// is no feeder to report.
SessionWindow* CurrentWindow() {
    ScanSession* session = CurrentSession();
    return session != nullptr ? session->window() : nullptr;
}

bool FeederEnabledNow() {
    ScanSession* session = CurrentSession();
    return session != nullptr && session->IsFeederEnabled();
}

bool FeederLoadedNow() {
    ScanSession* session = CurrentSession();
    return session != nullptr && session->IsFeederLoaded();
}

TW_UINT16 QueryBit(TW_UINT16 msg) {
    switch (msg) {
    case MSG_GET: return TWQC_GET;
    case MSG_GETCURRENT: return TWQC_GETCURRENT;
    case MSG_GETDEFAULT: return TWQC_GETDEFAULT;
    case MSG_SET: return TWQC_SET;
    case MSG_RESET: return TWQC_RESET;
    default: return 0;
    }
}

// MSG_QUERYSUPPORT: a TW_ONEVALUE of TWTY_INT32 holding the TWQC_* bits.
TW_UINT16 AnswerQuerySupport(TW_CAPABILITY& cap, TW_UINT16 operations) {
    cap.ConType = TWON_ONEVALUE;
    cap.hContainer = BuildBlock(kOneValueSize, [&](std::uint8_t* block) {
        PutU16(block, kItemType, TWTY_INT32);     // ItemType
        PutU32(block, kOneValueItem, operations);  // Item
    });
    if (cap.hContainer == nullptr) return Refuse(TWCC_LOWMEMORY);
    return TWRC_SUCCESS;
}

// The capabilities without a record: lists the source answers itself.
bool IsList(TW_UINT16 id) {
    return id == CAP_SUPPORTEDCAPS || id == CAP_SUPPORTEDDATS || id == ICAP_SUPPORTEDEXTIMAGEINFO;
}

// CAP_SUPPORTEDCAPS: every capability with a record, and the three lists.
std::array<TW_UINT16, kCapabilityCount + 3> SupportedCaps() {
    std::array<TW_UINT16, kCapabilityCount + 3> codes{};
    for (std::size_t i = 0; i < kCapabilityCount; ++i) codes[i] = capabilityTable.Slot(i).id;
    codes[kCapabilityCount] = CAP_SUPPORTEDCAPS;
    codes[kCapabilityCount + 1] = CAP_SUPPORTEDDATS;
    codes[kCapabilityCount + 2] = ICAP_SUPPORTEDEXTIMAGEINFO;
    return codes;
}

// A TW_ARRAY of 16-bit codes.
platform::GlobalHandle CodeArray(TW_UINT16 itemType, const TW_UINT16* codes, std::size_t count) {
    return BuildBlock(kArrayItemList + 2 * count, [&](std::uint8_t* block) {
        PutU16(block, kItemType, itemType);                                 // ItemType
        PutU32(block, kArrayNumItems, static_cast<std::uint32_t>(count));  // NumItems
        for (std::size_t i = 0; i < count; ++i) PutU16(block, kArrayItemList + 2 * i, codes[i]);
    });
}

// The lists as a TW_ARRAY. A TWAIN 1.x application has always had
// CAP_SUPPORTEDCAPS whatever the message; a TWAIN 2 one gets it for the
// three GETs only, as every application gets the other lists.
TW_UINT16 AnswerList(TW_CAPABILITY& cap, TW_UINT16 msg) {
    if (msg == MSG_QUERYSUPPORT) return AnswerQuerySupport(cap, kReadOnly);
    if ((ApplicationIsTwain2() || cap.Cap != CAP_SUPPORTEDCAPS) && (QueryBit(msg) & kReadOnly) == 0) {
        return Refuse(CurrentApplicationRules().refusedCapabilityMessage);
    }
    cap.ConType = TWON_ARRAY;
    if (cap.Cap == CAP_SUPPORTEDDATS) {
        constexpr std::size_t count = sizeof kSupportedDats / sizeof kSupportedDats[0];
        cap.hContainer = BuildBlock(kArrayItemList + 4 * count, [](std::uint8_t* block) {
            PutU16(block, kItemType, TWTY_UINT32);                              // ItemType
            PutU32(block, kArrayNumItems, static_cast<std::uint32_t>(count));  // NumItems
            for (std::size_t i = 0; i < count; ++i) PutU32(block, kArrayItemList + 4 * i, kSupportedDats[i]);
        });
    } else if (cap.Cap == ICAP_SUPPORTEDEXTIMAGEINFO) {
        cap.hContainer = CodeArray(TWTY_UINT16, kSupportedExtImageInfo, kSupportedExtImageInfoCount);
    } else {
        const auto codes = SupportedCaps();
        cap.hContainer = CodeArray(TWTY_UINT16, codes.data(), codes.size());
    }
    if (cap.hContainer == nullptr) return Refuse(TWCC_LOWMEMORY);
    return TWRC_SUCCESS;
}

// ICAP_PHYSICALWIDTH and ICAP_PHYSICALHEIGHT: the record holds 1/300 inch,
// the application reads the size in its current unit.
TW_UINT16 AnswerLength(TW_CAPABILITY& cap, TW_INT16 length) {
    const TW_FIX32 fix = ToFix32(InternalToUnits(length));
    cap.ConType = TWON_ONEVALUE;
    cap.hContainer = BuildBlock(kOneValueSize, [&](std::uint8_t* block) {
        PutU16(block, kItemType, TWTY_FIX32);                                          // ItemType
        PutU16(block, kOneValueItem, static_cast<std::uint16_t>(fix.Whole));           // Item.Whole
        PutU16(block, kOneValueItem + 2, fix.Frac);                                    // Item.Frac
    });
    return cap.hContainer != nullptr ? TWCC_SUCCESS : TWCC_LOWMEMORY;
}

// Setting a page size other than TWSS_NONE puts the layout's frame on that
// page at the bed's origin; TWSS_NONE leaves the frame as it is. A size the
// source does not offer is refused and the record left as it was.
TW_UINT16 ApplyPageSize(Capability& record, const Capability& before) {
    if (record.current == TWSS_NONE) return TWCC_SUCCESS;
    PageFrame frame{};
    if (record.current < 0 || !FrameOfPageSize(static_cast<TW_UINT16>(record.current), &frame)) {
        record = before;
        return TWCC_BADVALUE;
    }
    // Every size offered fits the bed the scanner reports; one that would
    // not is held to it rather than reaching the scanner beyond its edge.
    std::int32_t bedWidth = frame.width, bedHeight = frame.height;
    ScannerBed(capabilityTable, &bedWidth, &bedHeight);
    if (SessionWindow* window = CurrentWindow()) {
        window->SetScanRegion(0, 0, std::min<std::int32_t>(frame.width, bedWidth),
                              std::min<std::int32_t>(frame.height, bedHeight));
    }
    return TWCC_SUCCESS;
}

// MSG_RESETALL, while the source is open and not enabled: every capability
// the application may reset, and the layout, as the source was opened.
TW_UINT16 ResetAll() {
    if (sourceState != 400) return Refuse(TWCC_SEQERROR);
    for (std::size_t i = 0; i < capabilityTable.Size(); ++i) {
        Capability& record = capabilityTable.Slot(i);
        if (record.operations & TWQC_RESET) record.Reset();
    }
    MatchBitDepthToPixelType(capabilityTable);
    FollowCompression(capabilityTable);
    if (SessionWindow* window = CurrentWindow()) window->ResetScanRegion();
    return TWRC_SUCCESS;
}

// The feeder's switch is the scanner's, not the application's: the
// library reports it and offers no command to change it. The switch's state
// is the capability's one value, read anew for every message.
void FollowFeeder(Capability& record) {
    if (record.id == CAP_FEEDERENABLED) {
        const TW_INT16 now = FeederEnabledNow() ? 1 : 0;
        record.current = record.minimum = record.maximum = record.defaultValue = now;
        record.initialCurrent = record.initialMinimum = record.initialMaximum = now;
    } else if (record.id == CAP_FEEDERLOADED) {
        record.current = record.defaultValue = FeederLoadedNow() ? 1 : 0;
    }
}

// MSG_GET of a TW_BOOL capability as a TWAIN 2 application reads it: a
// TW_ENUMERATION of the values it may take. One the application cannot set
// has only its present value.
TW_UINT16 GetBoolValues(const Capability& record, TW_CAPABILITY& cap) {
    Capability values = record;
    if ((record.operations & TWQC_SET) == 0) values.minimum = values.maximum = values.defaultValue = record.current;
    return values.GetBoolEnumeration(cap);
}

// ICAP_BITDEPTH lists only the depth of the negotiated pixel type.
TW_UINT16 GetBitDepths(const Capability& record, TW_CAPABILITY& cap) {
    Capability values = record;
    values.allowedMask = values.supportedMask & DepthBitOfPixelType(capabilityTable);
    return values.Get(cap);
}

// ICAP_COMPRESSION lists only what the present mechanism, pixel type and
// file format carry.
TW_UINT16 GetCompressions(const Capability& record, TW_CAPABILITY& cap) {
    Capability values = record;
    values.allowedMask = values.allowedMask & CompressionsNow(capabilityTable);
    return values.Get(cap);
}

// What the compression depends on.
bool MovesCompression(TW_UINT16 id) {
    return id == ICAP_PIXELTYPE || id == ICAP_BITDEPTH || id == ICAP_XFERMECH || id == ICAP_IMAGEFILEFORMAT ||
           id == ICAP_COMPRESSION;
}

// The scanner scales both axes by one value, so ICAP_XSCALING and
// ICAP_YSCALING are kept equal: setting or resetting either sets the other's
// current value too. A value the other's bounds exclude is refused.
TW_UINT16 ScalingPartner(TW_UINT16 id) {
    if (id == ICAP_XSCALING) return ICAP_YSCALING;
    if (id == ICAP_YSCALING) return ICAP_XSCALING;
    return 0;
}

bool FollowScaling(const Capability& record) {
    Capability* partner = capabilityTable.Lookup(ScalingPartner(record.id));
    if (partner == nullptr) return true;
    if (record.current < partner->minimum || record.current > partner->maximum) return false;
    partner->current = record.current;
    return true;
}

// A MSG_SET the record took, held against what the rest of the set-up
// allows; a refusal puts the record back as it was.
TW_UINT16 CheckSet(Capability& record, const Capability& before) {
    // Whatever container brought it, the current value is one the
    // capability has: a value of its list, or one within its bounds (which
    // a range may just have narrowed).
    const bool listed = record.current >= 0 && record.current <= 31 && (record.supportedMask >> record.current & 1);
    const bool bounded = record.current >= record.minimum && record.current <= record.maximum;
    if (record.container == TWON_ENUMERATION ? !listed : !bounded) {
        record = before;
        return TWCC_BADVALUE;
    }
    switch (record.id) {
    case ICAP_PIXELTYPE:
        // The bit depth follows the type, and the compression what the
        // type can carry.
        MatchBitDepthToPixelType(capabilityTable);
        FollowCompression(capabilityTable);
        return TWCC_SUCCESS;
    case ICAP_XFERMECH:
        FollowCompression(capabilityTable);
        return TWCC_SUCCESS;
    case ICAP_IMAGEFILEFORMAT:
        FollowCompression(capabilityTable, true);
        return TWCC_SUCCESS;
    case ICAP_COMPRESSION:
        // Only one the mechanism, pixel type and format carry.
        if ((CompressionsNow(capabilityTable) >> record.current & 1) == 0) break;
        return TWCC_SUCCESS;
    case ICAP_BITDEPTH:
        // The depth of the negotiated pixel type, and no other.
        if ((TW_UINT32{1} << record.current & DepthBitOfPixelType(capabilityTable)) == 0) break;
        return TWCC_SUCCESS;
    case CAP_XFERCOUNT:
        if (record.current == 0 && CurrentApplicationRules().refuseZeroTransferCount) break;
        return TWCC_SUCCESS;
    case ICAP_SUPPORTEDSIZES:
        return ApplyPageSize(record, before);
    case ICAP_XSCALING:
    case ICAP_YSCALING:
        if (!FollowScaling(record)) break;
        return TWCC_SUCCESS;
    case ICAP_ROTATION:
        // The page is turned by quarters only: a value between them, or a
        // range whose bounds or step fall between them, is refused rather
        // than taken as a turn the application did not ask for.
        if (!IsQuarterTurn(record.current) || !IsQuarterTurn(record.minimum) || !IsQuarterTurn(record.maximum) ||
            !IsQuarterTurn(record.step)) {
            break;
        }
        return TWCC_SUCCESS;
    default:
        return TWCC_SUCCESS;
    }
    record = before;
    return TWCC_BADVALUE;
}

TW_UINT16 RouteToRecord(Capability& record, TW_CAPABILITY& cap, TW_UINT16 msg, bool* rounded) {
    FollowFeeder(record);
    const bool length = record.id == ICAP_PHYSICALWIDTH || record.id == ICAP_PHYSICALHEIGHT;
    switch (msg) {
    case MSG_GET:
        if (length) return AnswerLength(cap, record.current);
        if (record.itemType == TWTY_BOOL && CurrentApplicationRules().boolsAsEnumerations) {
            return GetBoolValues(record, cap);
        }
        if (record.id == ICAP_BITDEPTH) return GetBitDepths(record, cap);
        if (record.id == ICAP_COMPRESSION) return GetCompressions(record, cap);
        return record.Get(cap);
    case MSG_GETCURRENT:
        if (length) return AnswerLength(cap, record.current);
        return record.GetCurrent(cap);
    case MSG_GETDEFAULT:
        if (length) return AnswerLength(cap, record.defaultValue);
        return record.GetDefault(cap);
    case MSG_SET: {
        const Capability before = record;
        const TW_UINT16 result = record.Set(cap, rounded);
        if (result != TWCC_SUCCESS) return result;
        return CheckSet(record, before);
    }
    case MSG_RESET:
        // The value reset to is the answer, as MSG_GETCURRENT gives it.
        record.Reset();
        if (record.id == ICAP_PIXELTYPE || record.id == ICAP_BITDEPTH) MatchBitDepthToPixelType(capabilityTable);
        if (Capability* partner = capabilityTable.Lookup(ScalingPartner(record.id))) partner->Reset();
        if (MovesCompression(record.id)) FollowCompression(capabilityTable, record.id == ICAP_IMAGEFILEFORMAT);
        return record.GetCurrent(cap);
    default:
        // A 1.x application's other messages (MSG_GETFIRST and the rest)
        // are accepted as they always were, with nothing written.
        return TWCC_SUCCESS;
    }
}

}  // namespace

TW_UINT16 CapabilityHandler(const TripletRequest* request) noexcept {
    conditionCode = TWCC_SUCCESS;

    // The records exist only while the source is open.
    if (!capabilityTable.IsBuilt()) return Refuse(TWCC_SEQERROR);

    auto* cap = WritableData<TW_CAPABILITY>(request);
    if (cap == nullptr) return Refuse(TWCC_BADVALUE);
    const TW_UINT16 msg = request->msg;
    const ApplicationRules& rules = CurrentApplicationRules();

    // Images may be pending: what describes them stays as it is.
    const bool changes = msg == MSG_SET || msg == MSG_RESET || msg == MSG_RESETALL;
    if (changes && rules.negotiationInStateFourOnly && sourceState != 400) return Refuse(TWCC_SEQERROR);

    if (msg == MSG_RESETALL) return ResetAll();

    Capability* record = capabilityTable.Lookup(cap->Cap);
    if (record == nullptr) {
        if (IsList(cap->Cap)) return AnswerList(*cap, msg);
        // An unknown capability is answered with no message at all.
        if (msg == MSG_QUERYSUPPORT) return AnswerQuerySupport(*cap, 0);
        return Refuse(rules.unknownCapability);
    }
    if (msg == MSG_QUERYSUPPORT) return AnswerQuerySupport(*cap, record->operations);
    if (ApplicationIsTwain2() && (QueryBit(msg) & record->operations) == 0) {
        return Refuse(rules.refusedCapabilityMessage);
    }

    bool rounded = false;
    const TW_UINT16 result = RouteToRecord(*record, *cap, msg, &rounded);
    if (result != TWCC_SUCCESS) return Refuse(result);
    // A value the source took the nearest whole value for.
    return rounded ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
}
