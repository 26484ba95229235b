// DAT_USERINTERFACE: enabling hands the negotiated image type to the
// session's window and the resolution and flavour to the session, then
// shows the window or starts the final scan at once;
// disabling returns to state 400.
#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "capabilities/capability_table.h"
#include "device/error_message.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

const char kEnablePrefix[] = "General failure in response to MSG_ENABLEDS.  ";
const char kDisablePrefix[] = "General failure in response to MSG_DISABLEDS.  ";
const char kInterfacePrefix[] = "General failure in response to DAT_USERINTERFACE.  ";

int ChooseImageType(TW_INT16 bitDepth, TW_INT16 pixelType) {
    if (bitDepth == 1 || pixelType == TWPT_BW) return 0;
    if (bitDepth == 8 && pixelType == TWPT_GRAY) return 1;
    return 2;
}

TW_UINT16 Enable(const TripletRequest* request) {
    Capability& pixelType = capabilityTable.Find(ICAP_PIXELTYPE);
    Capability& xResolution = capabilityTable.Find(ICAP_XRESOLUTION);
    Capability& yResolution = capabilityTable.Find(ICAP_YRESOLUTION);
    Capability& pixelFlavor = capabilityTable.Find(ICAP_PIXELFLAVOR);
    Capability& bitDepth = capabilityTable.Find(ICAP_BITDEPTH);
    if (xResolution.id != ICAP_XRESOLUTION || yResolution.id != ICAP_YRESOLUTION ||
        pixelType.id != ICAP_PIXELTYPE || bitDepth.id != ICAP_BITDEPTH) {
        return Refuse(TWCC_BUMMER);
    }
    if (sourceState != 400) return Refuse(TWCC_SEQERROR, kEnablePrefix);
    const auto* ui = ReadableData<TW_USERINTERFACE>(request);
    if (ui == nullptr) return Refuse(TWCC_BADVALUE, kEnablePrefix);
    // An application that shows no dialog and no progress may be running
    // with nobody at the screen: the source then shows no box either, and
    // the application reads what went wrong from the condition code.
    const Capability& indicators = capabilityTable.Find(CAP_INDICATORS);
    const bool windowsAllowed = ui->ShowUI != 0 || (indicators.id == CAP_INDICATORS && indicators.current != 0);
    AllowErrorBoxes(windowsAllowed);
    const TW_UINT16 offline = windowsAllowed ? TWCC_BUMMER : DeviceCondition(TWCC_CHECKDEVICEONLINE);

    ScanSession* session = CurrentSession();
    SessionWindow* dialog = session != nullptr ? session->window() : nullptr;
    dialogWindow = dialog ? dialog->WindowHandle() : nullptr;
    if (dialog != nullptr) {
        dialog->OfferImageTypes(pixelType.supportedMask & pixelType.allowedMask,
                                ChooseImageType(bitDepth.current, pixelType.current));
        session->SetResolution(static_cast<TW_UINT32>(static_cast<TW_INT32>(xResolution.current)),
                               static_cast<TW_UINT32>(static_cast<TW_INT32>(yResolution.current)));
        session->SetInvert(pixelFlavor.current == TWPF_VANILLA ? 1 : 0);
        session->SetIndicators(capabilityTable.Find(CAP_INDICATORS).current != 0);
    }

    Capability& online = capabilityTable.Find(CAP_DEVICEONLINE);
    if (online.id != CAP_DEVICEONLINE || online.current == 0) {
        // The scanner could not be opened: the user hears it now.
        if (windowsAllowed && session != nullptr) session->ShowOpenFailure();
        return Refuse(offline, kEnablePrefix);
    }
    if (dialogWindow == nullptr) return Refuse(TWCC_LOWMEMORY, kEnablePrefix);

    // A frame the scanner cannot take is refused before any transfer; with
    // the dialog shown, the user may still change it there.
    if (!ui->ShowUI && !dialog->CanScanAsShown()) return Refuse(TWCC_BADVALUE, kEnablePrefix);

    sourceState = 500;
    if (ui->ShowUI) {
        dialog->ShowWindow(true);
    } else if (dialog->FinalScan() == 0 && sourceState == 500) {
        // The final scan did nothing: there is no scanner, although the
        // application set CAP_DEVICEONLINE itself. No transfer would ever
        // become ready, so the enabling is refused rather than reported as
        // a success the application would wait on for ever.
        sourceState = 400;
        return Refuse(offline, kEnablePrefix);
    }
    return TWRC_SUCCESS;
}

TW_UINT16 Disable(const TripletRequest* request) {
    if (sourceState != 500 && sourceState != 600) return Refuse(TWCC_SEQERROR, kDisablePrefix);
    const auto* ui = ReadableData<TW_USERINTERFACE>(request);
    if (ui == nullptr) return Refuse(TWCC_BADVALUE, kDisablePrefix);
    ScanSession* session = CurrentSession();
    SessionWindow* dialog = session != nullptr ? session->window() : nullptr;
    if (ui->ShowUI && dialog != nullptr) dialog->ShowWindow(false);
    if (dialog != nullptr) dialog->HoldSetup(false);
    sourceState = 400;
    return TWRC_SUCCESS;
}

}  // namespace

int NegotiatedImageType() {
    return ChooseImageType(capabilityTable.Find(ICAP_BITDEPTH).current, capabilityTable.Find(ICAP_PIXELTYPE).current);
}

TW_UINT16 UserInterfaceHandler(const TripletRequest* request) noexcept {
    switch (request->msg) {
        case MSG_ENABLEDS:
            try {
                return Enable(request);
            } catch (...) {
                // Memory ran out after the state test, perhaps inside the
                // final scan: the source stays open and not enabled.
                sourceState = 400;
                return Refuse(TWCC_LOWMEMORY, kEnablePrefix);
            }
        case MSG_DISABLEDS: return Disable(request);
        default: return Refuse(TWCC_BADPROTOCOL, kInterfacePrefix);
    }
}
