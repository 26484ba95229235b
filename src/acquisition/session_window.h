// SessionWindow: what the scan session and the protocol handlers need of
// the window that shows a session to the user. The source's dialog is one;
// the session itself never draws. The image type and the region are kept
// by the window because the user changes them there.
#pragma once

#include <cstdint>

#include "acquisition/shown_settings.h"

class SessionWindow {
public:
    virtual ~SessionWindow() = default;

    // The window handle; null when creation failed or after DestroyWindow.
    virtual void* WindowHandle() const = 0;
    virtual void DestroyWindow() = 0;
    virtual void ShowWindow(bool show) = 0;
    virtual bool IsWindowVisible() const = 0;
    // Hands a message of the application's loop (a platform MSG) to the
    // window; true when the window consumed it.
    virtual bool TakeWindowMessage(void* message) = 0;

    // The image types the application allows (a mask of bits by type) and
    // the one it asked for, at each enabling.
    virtual void OfferImageTypes(std::uint32_t allowed, int chosen) = 0;
    // The image type shown: an index into ImageTypeTable.
    virtual int GetImageTypeIndex() = 0;
    // The scan region in 1/300 inch.
    virtual void GetScanRegion(std::int32_t* left, std::int32_t* top, std::int32_t* right,
                               std::int32_t* bottom) const = 0;
    virtual int SetScanRegion(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) = 0;
    // The region as the window was made with: none (the whole bed), unlocked.
    virtual void ResetScanRegion() = 0;
    // Whether the application fixed the region (the user cannot change it).
    virtual bool IsScanRegionLocked() const = 0;
    // The region and its lock exactly as a kept set-up recorded them; a
    // region the user dragged stays the user's to change.
    virtual void RestoreScanRegionTo(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                                     bool locked) = 0;

    // Set-up only: the scan button reads "OK" and stores what the window
    // shows instead of scanning, and the region shown now is kept, for
    // RestoreScanRegion. False: the scan button scans.
    virtual void ShowSetupOnly(bool setupOnly) = 0;
    // Puts back the region kept by ShowSetupOnly(true) as it was then
    // (drawn, fixed by the application or not).
    virtual void RestoreScanRegion() = 0;

    // Sets the final scan up from what the window shows and announces the
    // transfer; 0 when nothing was set up (no scanner, or the user went back).
    virtual int FinalScan() = 0;
    // Whether the final scan of what the window shows (its image type and
    // region at the session's resolution) can be taken; when not, the user
    // has been told why.
    virtual bool CanScanAsShown() = 0;
    // While images are pending (from the final scan's set-up until the
    // source is back in state 500 or below) the controls that would change
    // that set-up are held: disabled, so that nothing the user does can
    // change what the transfers deliver.
    virtual void HoldSetup(bool hold) = 0;
    // The scan settings beside the image type as the application
    // negotiated them, at each enabling: the window shows them and offers
    // only what they allow.
    virtual void OfferSettings(const ShownSettings& settings) {}
    // The scanner's tone controls changed: the preview shows its page under
    // the new levels.
    virtual void ToneChanged() {}
};
