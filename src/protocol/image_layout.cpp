// DAT_IMAGELAYOUT: the scan region as the application sees it, in the
// current ICAP_UNITS unit. The session's window holds the region in 1/300
// inch; the frame is converted on the way in and out. A frame that reaches
// beyond the scanner's bed is brought inside it (TWRC_CHECKSTATUS), and one
// with nothing left inside is refused, so no edge ever reaches the scanner
// as a number it would take for another.
#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "capabilities/capability_table.h"
#include "imaging/rect32.h"
#include "imaging/units.h"
#include "protocol/application_rules.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

SessionWindow* CurrentWindow() {
    ScanSession* session = CurrentSession();
    return session != nullptr ? session->window() : nullptr;
}

Rect32 ReadRegion(const SessionWindow& dialog) {
    Rect32 r{};
    dialog.GetScanRegion(&r.left, &r.top, &r.right, &r.bottom);
    return r;
}

// A width or height in 1/300 inch; the region may hold any values, so the
// difference is taken without overflow.
std::int32_t Extent(std::int32_t from, std::int32_t to) {
    const std::int64_t extent = std::int64_t(to) - from;
    if (extent > INT32_MAX) return INT32_MAX;
    if (extent < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(extent);
}

TW_UINT16 GetLayout(const TripletRequest* request) {
    auto* layout = WritableData<TW_IMAGELAYOUT>(request);
    if (layout == nullptr) return Refuse(TWCC_BADVALUE);
    SessionWindow* dialog = CurrentWindow();
    if (dialog == nullptr) return Refuse(TWCC_SEQERROR);

    const Rect32 r = ReadRegion(*dialog);
    const float left = InternalToUnits(r.left);
    const float top = InternalToUnits(r.top);
    const float width = InternalToUnits(Extent(r.left, r.right));
    const float height = InternalToUnits(Extent(r.top, r.bottom));
    layout->Frame.Left = ToFix32(left);
    layout->Frame.Top = ToFix32(top);
    layout->Frame.Right = ToFix32(left + width);
    layout->Frame.Bottom = ToFix32(top + height);
    layout->DocumentNumber = 1;
    // While images are pending, the page of the one pending (a sheet's own
    // number in a feeder batch), as DAT_EXTIMAGEINFO tells it; before, the first.
    ScanSession* session = CurrentSession();
    layout->PageNumber = sourceState == 600 && session != nullptr ? static_cast<TW_UINT32>(session->Page()) : 1;
    layout->FrameNumber = 1;
    return TWRC_SUCCESS;
}

// The bed as the scanner reported it at opening, in 1/300 inch; without
// one, any frame.
Rect32 Bed() {
    Rect32 bed{0, 0, INT32_MAX, INT32_MAX};
    if (!ScannerBed(capabilityTable, &bed.right, &bed.bottom)) bed.left = bed.top = INT32_MIN;
    return bed;
}

TW_UINT16 SetLayout(const TripletRequest* request) {
    const auto* layout = ReadableData<TW_IMAGELAYOUT>(request);
    if (layout == nullptr) return Refuse(TWCC_BADVALUE);
    SessionWindow* dialog = CurrentWindow();
    if (dialog == nullptr) return Refuse(TWCC_SEQERROR);

    Rect32 wanted{UnitsToInternal(FromFix32(layout->Frame.Left)), UnitsToInternal(FromFix32(layout->Frame.Top)),
                  UnitsToInternal(FromFix32(layout->Frame.Right)), UnitsToInternal(FromFix32(layout->Frame.Bottom))};
    // A frame left open on the right or at the bottom means a letter page.
    if (wanted.right == 0) wanted.right = UnitsToInternal(8.0f);
    if (wanted.bottom == 0) wanted.bottom = UnitsToInternal(11.0f);
    const Rect32 bed = Bed();
    const Rect32 inside = wanted.ClampedTo(bed);
    if (inside.IsEmpty()) return Refuse(TWCC_BADVALUE);
    dialog->SetScanRegion(inside.left, inside.top, inside.right, inside.bottom);
    // A frame of the application's own is no longer one of the page sizes.
    if (Capability* sizes = capabilityTable.Lookup(ICAP_SUPPORTEDSIZES)) sizes->current = TWSS_NONE;

    const Rect32 held = ReadRegion(*dialog);
    return held == wanted ? TWRC_SUCCESS : TWRC_CHECKSTATUS;
}

// MSG_RESET: the whole bed, as at opening, answered as MSG_GET would.
TW_UINT16 ResetLayout(const TripletRequest* request) {
    if (WritableData<TW_IMAGELAYOUT>(request) == nullptr) return Refuse(TWCC_BADVALUE);
    SessionWindow* dialog = CurrentWindow();
    if (dialog == nullptr) return Refuse(TWCC_SEQERROR);
    dialog->ResetScanRegion();
    if (Capability* sizes = capabilityTable.Lookup(ICAP_SUPPORTEDSIZES)) sizes->current = TWSS_NONE;
    return GetLayout(request);
}

}  // namespace

TW_UINT16 ImageLayoutHandler(const TripletRequest* request) noexcept {
    // A pending image keeps the frame it was promised with.
    const bool changes = request->msg == MSG_SET || request->msg == MSG_RESET;
    if (changes && CurrentApplicationRules().negotiationInStateFourOnly && sourceState != 400) {
        return Refuse(TWCC_SEQERROR);
    }
    switch (request->msg) {
        case MSG_GET:
        case MSG_GETCURRENT:
        case MSG_GETDEFAULT:
            return GetLayout(request);
        case MSG_SET:
            return SetLayout(request);
        case MSG_RESET:
            return ResetLayout(request);
        default:
            return Refuse(TWCC_BADPROTOCOL);
    }
}
