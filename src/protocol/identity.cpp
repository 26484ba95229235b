// DAT_IDENTITY: the source's identity, and opening and closing the source.
// Opening records both identities, builds the capability table, starts the
// scan session with its window (which opens the scanner) and seeds the
// capabilities the scanner decides; closing releases the scanner, destroys
// the session's window and discards the table.
#include <cstring>
#include <new>

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "capabilities/capability_table.h"
#include "device/error_message.h"
#include "device/scanner_library.h"
#include "platform/file.h"
#include "protocol/application_rules.h"
#include "protocol/handlers.h"
#include "protocol/manager_services.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

const char kOpenPrefix[] = "General failure in response to MSG_OPENDS.  ";
const char kClosePrefix[] = "General failure in response to MSG_CLOSEDS.  ";
const char kIdentityPrefix[] = "General failure in response to DAT_IDENTITY.  ";

void Seed(TW_UINT16 id, int value) { capabilityTable.Find(id).current = static_cast<TW_INT16>(value); }

// A capability's value after opening, after MSG_RESET and as its default.
void SeedFirst(TW_UINT16 id, int value) {
    Capability& capability = capabilityTable.Find(id);
    if (capability.id != id) return;
    capability.current = capability.initialCurrent = capability.defaultValue = static_cast<TW_INT16>(value);
}

// An enumerated capability narrowed to what the scanner can do: its values,
// its highest value and its current and default one, through MSG_RESET too.
void SeedValues(TW_UINT16 id, TW_UINT32 supported, TW_INT16 highest) {
    Capability& capability = capabilityTable.Find(id);
    if (capability.id != id) return;
    capability.supportedMask = supported;
    capability.allowedMask = supported;
    capability.maximum = capability.initialMaximum = highest;
    capability.current = capability.initialCurrent = capability.defaultValue = highest;
}

// A scanner without colour scans bi-level and grey only.
void SeedImageTypes(int scannerKind) {
    if (scannerKind != 1) return;
    SeedValues(ICAP_PIXELTYPE, 1u << TWPT_BW | 1u << TWPT_GRAY, TWPT_GRAY);
    SeedValues(ICAP_BITDEPTH, 1u << 1 | 1u << 8, 8);
}

TW_UINT16 OpenSource(const TripletRequest* request) {
    // The old log goes first, whatever becomes of the request.
    platform::DeleteFileByName("c:\\twsrc.log");
    if (sourceState != 300) return Refuse(TWCC_SEQERROR, kOpenPrefix);
    const auto* identity = ReadableData<TW_IDENTITY>(request);
    if (identity == nullptr || !platform::IsReadable(request->origin, sizeof(TW_IDENTITY))) {
        return Refuse(TWCC_BADVALUE, kOpenPrefix);
    }
    std::memcpy(&appIdentity, request->origin, sizeof appIdentity);
    std::memcpy(&sourceIdentity, identity, sizeof sourceIdentity);
    sourceState = 400;
    // The dialog made below opens the scanner.
    PrepareScanner();

    capabilityTable.Build();
    SeedFirst(ICAP_UNITS, CurrentApplicationRules().firstUnits);
    // Whether the application allows the source windows is known only when
    // it enables the source: until then a scanner that cannot be opened
    // shows no box.
    AllowErrorBoxes(false);
    ScanSession* session = StartSession();
    if (session == nullptr) throw std::bad_alloc();  // no session could be made
    Seed(CAP_DEVICEONLINE, session->IsDeviceOnline() ? 1 : 0);
    SeedImageTypes(session->ScannerKind());
    MatchBitDepthToPixelType(capabilityTable);
    Seed(CAP_FEEDERENABLED, session->IsFeederEnabled() ? 1 : 0);
    Seed(CAP_FEEDERLOADED, session->IsFeederLoaded() ? 1 : 0);
    // Only a feeder can tell whether paper is loaded.
    Seed(CAP_PAPERDETECTABLE, session->IsFeederEnabled() ? 1 : 0);
    Seed(ICAP_PHYSICALWIDTH, session->GetPhysicalWidth());
    Seed(ICAP_PHYSICALHEIGHT, session->GetPhysicalHeight());
    std::int32_t bedWidth = 0, bedHeight = 0;
    if (ScannerBed(capabilityTable, &bedWidth, &bedHeight)) session->SetBed(bedWidth, bedHeight);
    return TWRC_SUCCESS;
}

TW_UINT16 CloseSource() {
    TW_UINT16 outcome = TWRC_SUCCESS;
    if (sourceState >= 400 && sourceState <= 600) {
        appIdentity.Id = 0;
        ScanSession* session = CurrentSession();
        if (session != nullptr) session->EndProgress();
        SessionWindow* sessionWindow = session != nullptr ? session->window() : nullptr;
        // The scanner is released with the window it was opened with.
        auto window = reinterpret_cast<std::uintptr_t>(sessionWindow ? sessionWindow->WindowHandle() : nullptr);
        Scanner().OpenScanner(static_cast<std::uint16_t>(window & 0xFFFF), 0);
        if (sessionWindow != nullptr) sessionWindow->DestroyWindow();
        dialogWindow = nullptr;
        sourceState = 300;
        // The manager gives its entry points again before the next opening.
        ForgetManagerEntryPoints();
    } else {
        outcome = Refuse(TWCC_SEQERROR, kClosePrefix);
    }
    capabilityTable.Clear();
    return outcome;
}

}  // namespace

TW_UINT16 IdentityHandler(const TripletRequest* request) noexcept {
    switch (request->msg) {
        case MSG_GET: {
            auto* identity = WritableData<TW_IDENTITY>(request);
            if (identity == nullptr) return Refuse(TWCC_BADVALUE, kIdentityPrefix);
            std::memcpy(identity, &sourceIdentity, sizeof sourceIdentity);
            return TWRC_SUCCESS;
        }
        case MSG_OPENDS: {
            TW_UINT16 outcome;
            try {
                outcome = OpenSource(request);
            } catch (...) {
                // Memory ran out after the state test (creating the dialog,
                // its list, its strings): undo the half-made opening so that
                // the application sees a closed source it may open again.
                CloseSource();
                outcome = Refuse(TWCC_LOWMEMORY, kOpenPrefix);
            }
            scanInProgress = 0;
            return outcome;
        }
        case MSG_CLOSEDS:
            return CloseSource();
        default:
            return Refuse(TWCC_BADPROTOCOL, kIdentityPrefix);
    }
}
