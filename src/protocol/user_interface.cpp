// DAT_USERINTERFACE: enabling hands the negotiated image type to the
// session's window and the resolution and flavour to the session, then
// shows the window or starts the final scan at once; enabling for set-up
// only shows the window, whose "OK" keeps what it shows as the negotiated
// set-up; disabling returns to state 400.
#include "protocol/user_interface.h"

#include <algorithm>

#include "acquisition/current_session.h"
#include "acquisition/image_types.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "capabilities/capability_table.h"
#include "capabilities/page_turn.h"
#include "device/error_message.h"
#include "protocol/application_rules.h"
#include "protocol/handlers.h"
#include "protocol/notifications.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

const char kEnablePrefix[] = "General failure in response to MSG_ENABLEDS.  ";
const char kSetupOnlyPrefix[] = "General failure in response to MSG_ENABLEDSUIONLY.  ";
const char kDisablePrefix[] = "General failure in response to MSG_DISABLEDS.  ";
const char kInterfacePrefix[] = "General failure in response to DAT_USERINTERFACE.  ";

// The pixel type decides the image type; the bit depth follows it.
int ChooseImageType(TW_INT16 pixelType) {
    if (pixelType == TWPT_BW) return 0;
    if (pixelType == TWPT_GRAY) return 1;
    return 2;
}

// A capability's current value, or `fallback` when the table lacks it.
int CurrentOf(TW_UINT16 id, int fallback) {
    const Capability* record = capabilityTable.Lookup(id);
    return record != nullptr ? record->current : fallback;
}

// The tone capabilities as the tone map takes them.
ToneControls NegotiatedToneControls() {
    ToneControls tone;
    tone.brightness = CurrentOf(ICAP_BRIGHTNESS, tone.brightness);
    tone.contrast = CurrentOf(ICAP_CONTRAST, tone.contrast);
    tone.gammaHundredths = CurrentOf(ICAP_GAMMA, tone.gammaHundredths);
    tone.shadow = CurrentOf(ICAP_SHADOW, tone.shadow);
    tone.highlight = CurrentOf(ICAP_HIGHLIGHT, tone.highlight);
    return tone;
}

Rect32 ShownRegion(const SessionWindow& window) {
    Rect32 region;
    window.GetScanRegion(&region.left, &region.top, &region.right, &region.bottom);
    return region;
}

// MSG_ENABLEDS, or with `setupOnly` MSG_ENABLEDSUIONLY: the window is then
// always shown, whatever ShowUI says, and its scan button only keeps the
// set-up.
TW_UINT16 Enable(const TripletRequest* request, bool setupOnly) {
    const char* prefix = setupOnly ? kSetupOnlyPrefix : kEnablePrefix;
    Capability& pixelType = capabilityTable.Find(ICAP_PIXELTYPE);
    Capability& xResolution = capabilityTable.Find(ICAP_XRESOLUTION);
    Capability& yResolution = capabilityTable.Find(ICAP_YRESOLUTION);
    Capability& pixelFlavor = capabilityTable.Find(ICAP_PIXELFLAVOR);
    Capability& bitDepth = capabilityTable.Find(ICAP_BITDEPTH);
    if (xResolution.id != ICAP_XRESOLUTION || yResolution.id != ICAP_YRESOLUTION ||
        pixelType.id != ICAP_PIXELTYPE || bitDepth.id != ICAP_BITDEPTH) {
        return Refuse(TWCC_BUMMER);
    }
    if (sourceState != 400) return Refuse(TWCC_SEQERROR, prefix);
    const auto* ui = ReadableData<TW_USERINTERFACE>(request);
    if (ui == nullptr) return Refuse(TWCC_BADVALUE, prefix);
    // An application that shows no dialog and no progress may be running
    // with nobody at the screen: the source then shows no box either, and
    // the application reads what went wrong from the condition code.
    const Capability& indicators = capabilityTable.Find(CAP_INDICATORS);
    const bool showWindow = setupOnly || ui->ShowUI != 0;
    const bool windowsAllowed = showWindow || (indicators.id == CAP_INDICATORS && indicators.current != 0);
    AllowErrorBoxes(windowsAllowed);
    const TW_UINT16 offline = windowsAllowed ? TWCC_BUMMER : DeviceCondition(TWCC_CHECKDEVICEONLINE);

    ScanSession* session = CurrentSession();
    SessionWindow* dialog = session != nullptr ? session->window() : nullptr;
    dialogWindow = dialog ? dialog->WindowHandle() : nullptr;
    if (dialog != nullptr) {
        dialog->OfferImageTypes(pixelType.supportedMask & pixelType.allowedMask,
                                ChooseImageType(pixelType.current));
        session->SetResolution(static_cast<TW_UINT32>(static_cast<TW_INT32>(xResolution.current)),
                               static_cast<TW_UINT32>(static_cast<TW_INT32>(yResolution.current)));
        session->SetInvert(pixelFlavor.current == TWPF_VANILLA ? 1 : 0);
        // ICAP_XSCALING in hundredths is the scanner's percent (the two
        // scaling capabilities are kept equal).
        session->scaling = static_cast<std::uint32_t>(std::max(CurrentOf(ICAP_XSCALING, 100), 1));
        session->SetToneControls(NegotiatedToneControls());
        dialog->ToneChanged();
        session->SetIndicators(capabilityTable.Find(CAP_INDICATORS).current != 0);
        if (const Capability* blank = capabilityTable.Lookup(ICAP_AUTODISCARDBLANKPAGES)) {
            session->SetBlankPages(blank->current);
        }
        session->SetQuarterTurns(QuarterTurns(capabilityTable));
        session->SetApplicationWindow(ui->hParent);
    }

    Capability& online = capabilityTable.Find(CAP_DEVICEONLINE);
    if (online.id != CAP_DEVICEONLINE || online.current == 0) {
        // The scanner could not be opened: the user hears it now.
        if (windowsAllowed && session != nullptr) session->ShowOpenFailure();
        return Refuse(offline, prefix);
    }
    if (dialogWindow == nullptr) return Refuse(TWCC_LOWMEMORY, prefix);
    // With the feeder switched on but empty, nobody is there to load it, and
    // a scan of the glass is not what an unattended batch asked for.
    if (!windowsAllowed && ApplicationIsTwain2() && session->IsFeederEnabled() && !session->IsFeederLoaded()) {
        return Refuse(TWCC_NOMEDIA, prefix);
    }

    // A frame the scanner cannot take is refused before any transfer; with
    // the dialog shown, the user may still change it there.
    if (!showWindow && !dialog->CanScanAsShown()) return Refuse(TWCC_BADVALUE, prefix);

    sourceState = 500;
    dialog->ShowSetupOnly(setupOnly);
    if (setupOnly) session->BeginSetupOnly(ShownRegion(*dialog));
    if (showWindow) {
        dialog->ShowWindow(true);
    } else if (dialog->FinalScan() == 0 && sourceState == 500) {
        // The final scan did nothing: there is no scanner, although the
        // application set CAP_DEVICEONLINE itself. No transfer would ever
        // become ready, so the enabling is refused rather than reported as
        // a success the application would wait on for ever.
        sourceState = 400;
        return Refuse(offline, prefix);
    }
    return TWRC_SUCCESS;
}

TW_UINT16 Disable(const TripletRequest* request) {
    if (sourceState != 500 && sourceState != 600) return Refuse(TWCC_SEQERROR, kDisablePrefix);
    const auto* ui = ReadableData<TW_USERINTERFACE>(request);
    if (ui == nullptr) return Refuse(TWCC_BADVALUE, kDisablePrefix);
    ScanSession* session = CurrentSession();
    SessionWindow* dialog = session != nullptr ? session->window() : nullptr;
    // A set-up-only window goes whatever ShowUI says: it was shown for
    // that enabling only. A set-up the user did not accept leaves the image
    // type and the region as they were.
    const bool setupOnly = session != nullptr && session->SetupOnly();
    if ((ui->ShowUI || setupOnly) && dialog != nullptr) dialog->ShowWindow(false);
    if (setupOnly && session->EndSetupOnly() && dialog != nullptr) {
        dialog->RestoreScanRegion();
        const Capability& pixelType = capabilityTable.Find(ICAP_PIXELTYPE);
        dialog->OfferImageTypes(pixelType.supportedMask & pixelType.allowedMask, NegotiatedImageType());
    }
    if (dialog != nullptr) dialog->HoldSetup(false);
    sourceState = 400;
    return TWRC_SUCCESS;
}

}  // namespace

int AcceptShownSetup(int imageType) {
    ScanSession* session = CurrentSession();
    SessionWindow* window = session != nullptr ? session->window() : nullptr;
    if (sourceState != 500 || window == nullptr || !session->AcceptSetup()) return 0;
    if (imageType < 0 || imageType > 2) imageType = 0;
    Capability& pixelType = capabilityTable.Find(ICAP_PIXELTYPE);
    if (pixelType.id == ICAP_PIXELTYPE) pixelType.current = static_cast<TW_INT16>(imageType);
    MatchBitDepthToPixelType(capabilityTable);
    if (ShownRegion(*window) != session->SetupRegionBefore()) {
        if (Capability* sizes = capabilityTable.Lookup(ICAP_SUPPORTEDSIZES)) sizes->current = TWSS_NONE;
    }
    return NotifyCloseDSOk();
}

int NegotiatedImageType() {
    return ChooseImageType(capabilityTable.Find(ICAP_PIXELTYPE).current);
}

TW_UINT16 UserInterfaceHandler(const TripletRequest* request) noexcept {
    switch (request->msg) {
        case MSG_ENABLEDS:
            try {
                return Enable(request, false);
            } catch (...) {
                // Memory ran out after the state test, perhaps inside the
                // final scan: the source stays open and not enabled.
                sourceState = 400;
                return Refuse(TWCC_LOWMEMORY, kEnablePrefix);
            }
        case MSG_ENABLEDSUIONLY:
            try {
                return Enable(request, true);
            } catch (...) {
                sourceState = 400;
                return Refuse(TWCC_LOWMEMORY, kSetupOnlyPrefix);
            }
        case MSG_DISABLEDS: return Disable(request);
        default: return Refuse(TWCC_BADPROTOCOL, kInterfacePrefix);
    }
}
