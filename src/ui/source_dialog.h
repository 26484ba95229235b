// SourceDialog: the source's one window: the image type list, the preview
// with the scan region, and the buttons. What it sets up is scanned by the
// ScanSession it shows; the protocol handlers reach it as that session's
// SessionWindow. One object exists per opening of the source. The window
// itself (real controls on Windows, a headless stand-in natively) is the
// DialogWindow's.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "acquisition/image_types.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "ui/preview_window.h"
#include "ui/progress_window.h"
#include "ui/setup_choices.h"

class ScanSession;
class DialogWindow;

class SourceDialog : public SessionWindow {
public:
    explicit SourceDialog(ScanSession& session);
    ~SourceDialog() override;
    SourceDialog(const SourceDialog&) = delete;
    SourceDialog& operator=(const SourceDialog&) = delete;

    // Creates the window from template 129, hidden and without a parent;
    // OnInitDialog runs during the creation. False when no window came.
    bool Create();
    // The window handle; null when creation failed or after DestroyWindow.
    void* WindowHandle() const override;
    void DestroyWindow() override;
    void ShowWindow(bool show) override;
    bool IsWindowVisible() const override;
    bool TakeWindowMessage(void* message) override;

    // --- Operations the protocol handlers call ---
    void OfferImageTypes(std::uint32_t allowed, int chosen) override;
    void RemoveDisallowedImageTypes();
    int SelectImageType(int index);
    int GetImageTypeIndex() override;
    std::uint32_t GetBitsPerPixel();
    int FinalScan() override;
    bool CanScanAsShown() override;
    void HoldSetup(bool hold) override;
    void ToneChanged() override;
    void OfferSettings(const ShownSettings& settings) override;
    void ShowSetupOnly(bool setupOnly) override;
    void RestoreScanRegion() override;
    void PreviewScan();

    // The two buttons: they act only while the source is enabled and
    // waiting for the user (state 500), never while a scan is set up for
    // transfer or after the source was disabled with its window left shown.
    // Set up only, the scan button ("OK") keeps the set-up shown instead.
    void OnFinalScanButton();
    void OnPreviewScanButton();
    void GetScanRegion(std::int32_t* left, std::int32_t* top, std::int32_t* right,
                       std::int32_t* bottom) const override;
    int SetScanRegion(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override;
    // The region as the dialog was made with: none (the whole bed), unlocked.
    void ResetScanRegion() override { preview.ClearRegion(); }
    bool IsScanRegionLocked() const override { return preview.regionLocked; }
    void RestoreScanRegionTo(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                             bool locked) override;

    // A box with the string and "  [id]" appended, OK button only; returns 0.
    int ShowErrorMessage(unsigned stringId);

    // --- Window operations, reached through the window's messages ---
    bool OnInitDialog();
    void OnImageTypeChange();
    // The user changed the setting control `id` (a list's selection, a
    // slider's position): the capability takes the value, or the control
    // shows the setting again when it cannot.
    void OnSettingChange(int id);
    // The user drew, moved or cleared the region on the preview.
    void OnRegionChange();
    void OnSysCommand(unsigned commandId);
    // The close box and Cancel hide the window and ask the application to
    // close the source. Like the scan button they end in a notification,
    // during which the application may end this object: the window's
    // message handler touches nothing of it after calling them.
    void OnClose();
    void OnCancel();

    // --- State ---
    std::uint32_t allowedImageTypes = 7;
    PreviewWindow preview;

    DialogWindow& window() { return *window_; }
    ScanSession& session() { return session_; }

private:
    // The frame the final scan takes: the region, or the whole bed without one.
    Rect32 ShownFrame() const;
    // Renders the preview buffer in the image type the list shows.
    void RenderPreview();
    // "OK" of a set-up-only dialog: a set-up the scanner can take is kept
    // and the application told; the window goes.
    void AcceptSetup();
    void AskToBeClosed();
    // Fills the setting controls from settings_ and sets which act.
    void ShowSettings();
    // The page size list for the region shown now.
    void ShowPageSize();
    void ShowTone(int id, const NumberSetting& setting);
    void EnableSettingControls();
    void ChoosePage(const PageEntry& entry);
    void MoveTone(int id, ShownSetting setting, NumberSetting& value);

    ScanSession& session_;
    ProgressWindow progress_;
    // The region as set-up only found it (ShowSetupOnly).
    Rect32 keptRegion_;
    Rect32 keptRegion300_;
    bool keptRegionLocked_ = false;
    // The settings beside the image type, and what their lists offer.
    ShownSettings settings_;
    std::vector<int> resolutions_;
    std::vector<int> rotations_;
    std::vector<PageEntry> pages_;
    bool held_ = false;
    std::unique_ptr<DialogWindow> window_;
    // Expires with this object: a handler that notifies the application
    // looks at it before touching anything of the dialog afterwards.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
