// SourceDialog: the source's one window and the facade through which the
// protocol handlers reach everything that belongs to a scan: the scanner,
// the scan region, the chosen image type and the resolutions. One object
// exists per opening of the source. The window itself (real controls on
// Windows, a headless stand-in natively) is the DialogWindow's.
#pragma once

#include <cstdint>
#include <memory>

#include "device/scanner_device.h"
#include "platform/global_memory.h"
#include "ui/image_types.h"
#include "ui/preview_window.h"

class DialogWindow;

class SourceDialog {
public:
    SourceDialog();
    virtual ~SourceDialog();
    SourceDialog(const SourceDialog&) = delete;
    SourceDialog& operator=(const SourceDialog&) = delete;

    // Creates the window from template 129, hidden and without a parent;
    // OnInitDialog runs during the creation. False when no window came.
    bool Create();
    // The window handle; null when creation failed or after DestroyWindow.
    void* WindowHandle() const;
    void DestroyWindow();
    void ShowWindow(bool show);
    bool IsWindowVisible() const;

    // --- Operations the protocol handlers call ---
    void RemoveDisallowedImageTypes();
    int SelectImageType(int index);
    int GetImageTypeIndex();
    std::uint32_t GetBitsPerPixel();
    void SetResolution(std::uint32_t x, std::uint32_t y);
    std::uint32_t GetXResolution() const { return xResolution; }
    void SetInvert(std::uint32_t flag) { invert = flag; }
    int FinalScan();
    void PreviewScan();
    // After a transfer of a batch: sets the next scan up exactly as the final
    // scan did (on the flatbed the same region again, from the feeder its
    // next sheet) and returns true, or returns false when the batch ends:
    // `remaining` (CAP_XFERCOUNT, this transfer included) is 1 or less (or
    // -1 on the flatbed), the feeder has run out, a sheet jammed, or the
    // scanner cannot be set up.
    bool ContinueBatch(std::int32_t remaining);
    // Whether the scan set up last met a jam in the feeder.
    bool ScanJammed() const { return scanner.Jammed(); }
    // Whether the scanner inverts the scan set up last (a vanilla 1- or
    // 8-bit scan): its colour table and TIFF photometry then say so.
    bool ScanInverted() const { return setup_.invert != 0; }

    // The two buttons: they act only while the source is enabled and
    // waiting for the user (state 500), never while a scan is set up for
    // transfer or after the source was disabled with its window left shown.
    void OnFinalScanButton();
    void OnPreviewScanButton();
    void GetScanRegion(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) const;
    int SetScanRegion(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    // The region as the dialog was made with: none (the whole bed), unlocked.
    void ResetScanRegion() { preview.ClearRegion(); }

    int GetPhysicalWidth() { return scanner.GetPhysicalWidth(); }
    int GetPhysicalHeight() { return scanner.GetPhysicalHeight(); }
    int GetBytesPerLine() { return scanner.GetBytesPerLine(); }
    int GetLineCount() { return scanner.GetLineCount(); }
    int GetPixelsPerLine() { return scanner.GetPixelsPerLine(); }
    bool IsDeviceOnline() { return scanner.GetKind() != 0; }
    bool IsFeederEnabled() { return scanner.IsFeederEnabled(); }
    bool IsFeederLoaded() { return scanner.IsFeederLoaded(); }
    void EndScan() { scanner.EndScan(); }

    // The packed DIB of the scan set up last. Null when it cannot be had:
    // `failure` (when given) then holds TWCC_LOWMEMORY for a block that
    // cannot be had, TWCC_BUMMER when the scanner sent no data at all.
    platform::GlobalHandle ReadNativeImage(int* failure = nullptr);
    std::uint32_t ReadMemoryStrip(void* buffer, std::uint32_t length);
    int WriteImageFile(const char* fileName, std::uint16_t format);

    // A box with the string and "  [id]" appended, OK button only; returns 0.
    int ShowErrorMessage(unsigned stringId);

    // --- Window operations, reached through the window's messages ---
    bool OnInitDialog();
    void OnImageTypeChange();
    void OnSysCommand(unsigned commandId);
    void OnClose();
    void OnCancel();

    // --- State ---
    std::uint32_t xResolution = 150;
    std::uint32_t yResolution = 150;
    std::uint32_t scaling = 100;
    std::uint32_t invert = 0;
    std::uint32_t allowedImageTypes = 7;
    PreviewWindow preview;
    ScannerDevice scanner;

    DialogWindow& window() { return *window_; }

private:
    // What the final scan handed the scanner, for the next scans of a batch.
    struct ScanSetup {
        std::uint32_t xResolution = 0;
        std::uint32_t bitsPerPixel = 0;
        std::uint16_t window[5] = {};
        std::uint32_t invert = 0;
        bool fromFeeder = false;  // the feeder held a sheet when the final scan began
    };
    bool SetupScan();

    ScanSetup setup_;

    // Renders the preview buffer in the image type the list shows.
    void RenderPreview();
    // The five-value scan window record from the region and resolution.
    void BuildScanWindow(std::uint16_t window[5]) const;

    std::unique_ptr<DialogWindow> window_;
};
