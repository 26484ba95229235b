// ScanSession: the negotiated scan settings, the final scan's set-up and
// the next scan of a batch. The readers are in scan_readers.cpp.
#include "acquisition/scan_session.h"

#include <algorithm>
#include <cstdint>

#include "acquisition/progress_indicator.h"
#include "acquisition/session_window.h"
#include "device/error_message.h"
#include "imaging/blank_page.h"
#include "twain/twain.h"

void ScanSession::ShowOpenFailure() {
    if (scanner.OpenFailure() != 0) ShowErrorMessage(scanner.OpenFailure());
}

void ScanSession::SetResolution(std::uint32_t x, std::uint32_t y) {
    xResolution = x;
    yResolution = y;
    scanner.SendResolution(x, y);
}

int ScanSession::GetImageTypeIndex() { return window_ != nullptr ? window_->GetImageTypeIndex() : 0; }

std::uint32_t ScanSession::GetBitsPerPixel() { return ImageTypeTable[GetImageTypeIndex()].bitsPerPixel; }

// The scanner takes both axes at the X resolution and reads the window in
// 1/300 inch, so the frame goes to it as it is; the image then has X dpi
// on both axes. Every way a frame enters keeps it on the bed; here it is
// held there once more, so that no edge can reach the scanner's 16-bit
// window cut to another number.
void ScanSession::BuildScanWindow(const Rect32& frame, std::uint16_t window[5]) const {
    const Rect32 bed{0, 0, bedWidth_ > 0 ? std::min<std::int32_t>(bedWidth_, UINT16_MAX) : UINT16_MAX,
                     bedHeight_ > 0 ? std::min<std::int32_t>(bedHeight_, UINT16_MAX) : UINT16_MAX};
    const Rect32 onBed = frame.ClampedTo(bed);
    window[0] = static_cast<std::uint16_t>(xResolution);
    window[1] = static_cast<std::uint16_t>(onBed.left);
    window[2] = static_cast<std::uint16_t>(onBed.top);
    window[3] = static_cast<std::uint16_t>(onBed.Width());
    window[4] = static_cast<std::uint16_t>(onBed.Height());
}

Rect32 ScanSession::ScannedFrame() const {
    Rect32 frame;
    frame.left = setup_.window[1];
    frame.top = setup_.window[2];
    frame.right = frame.left + setup_.window[3];
    frame.bottom = frame.top + setup_.window[4];
    return frame;
}

bool ScanSession::SetupFinalScan(int imageType, const Rect32& frame, bool fromFeeder) {
    setup_.imageType = imageType >= 0 && imageType < 3 ? imageType : 0;
    setup_.bitsPerPixel = ImageTypeTable[setup_.imageType].bitsPerPixel;
    BuildScanWindow(frame, setup_.window);
    // No RGB format can describe an inverted picture: colour is never
    // inverted. Bi-level and grey data are, and their colour table and TIFF
    // photometry then tell readers so.
    setup_.invert = invert != 0 && setup_.bitsPerPixel != 24 ? 1 : 0;
    setup_.fromFeeder = fromFeeder;
    setup_.quarterTurns = quarterTurns_;
    page_ = 1;
    cancelled_ = false;
    nothingToDeliver_ = false;
    // A new enabling: a new multi-page file, and no strips of another scan.
    DropCodedStream();
    EndDocument();
    blanksBefore_ = 0;
    return SetupScan() && SkipBlankSheets();
}

bool ScanSession::SheetIsBlank() {
    const int bytesPerLine = scanner.GetBytesPerLine();
    const int pixels = scanner.GetPixelsPerLine();
    const int lines = scanner.GetLineCount();
    if (bytesPerLine <= 0 || pixels <= 0 || lines <= 0) return false;
    // The sheet is read now rather than during its transfer: the progress
    // shows it, and a Cancel stops it.
    BeginProgress(static_cast<std::uint32_t>(lines));
    const bool held = scanner.HoldScan([&](std::size_t bytes) {
        return AdvanceProgress(static_cast<std::uint32_t>(bytes / static_cast<std::size_t>(bytesPerLine)));
    });
    EndProgress();
    if (!held || scanner.Halted()) return false;
    const std::size_t whole = std::size_t(bytesPerLine) * std::size_t(lines);
    if (scanner.HeldBytes() < whole) return false;  // the scan ended early: the transfer tells
    if (std::uint64_t(pixels) * setup_.bitsPerPixel > std::uint64_t(bytesPerLine) * 8) return false;
    ScanRows rows;
    rows.data = scanner.HeldScan();
    rows.stride = static_cast<std::size_t>(bytesPerLine);
    rows.pixels = static_cast<std::uint32_t>(pixels);
    rows.lines = static_cast<std::uint32_t>(lines);
    rows.bitsPerPixel = setup_.bitsPerPixel;
    rows.inverted = setup_.invert != 0;
    if (blankPages_ == TWBP_AUTO) return BlankPageJudge::IsBlank(rows, xResolution);
    return BlankPageJudge::IsBlankByBytes(rows, static_cast<std::uint32_t>(blankPages_));
}

bool ScanSession::SkipBlankSheets() {
    blanksBefore_ = 0;
    if (!setup_.fromFeeder || blankPages_ < TWBP_AUTO) return true;
    while (SheetIsBlank()) {
        ++blanksBefore_;
        if (!scanner.IsFeederLoaded()) {
            scanner.DropHeldScan();
            EndProgress();
            nothingToDeliver_ = true;
            return false;
        }
        if (!SetupScan()) return false;
        ++page_;
    }
    // A Cancel while the sheet was read ends the batch before it.
    if (cancelled_) nothingToDeliver_ = true;
    return !cancelled_;
}

void ScanSession::BeginSetupOnly(const Rect32& region) {
    setupOnly_ = true;
    accepted_ = false;
    regionBefore_ = region;
}

bool ScanSession::AcceptSetup() {
    if (!setupOnly_ || accepted_) return false;
    accepted_ = true;
    return true;
}

bool ScanSession::EndSetupOnly() {
    const bool abandoned = setupOnly_ && !accepted_;
    setupOnly_ = false;
    accepted_ = false;
    return abandoned;
}

bool ScanSession::CanScan(int imageType, const Rect32& frame) {
    std::uint16_t window[5];
    BuildScanWindow(frame, window);
    const ScanPlan plan = scanner.PlanFinalScan(ImageTypeTable[imageType].bitsPerPixel, window, scaling);
    return !plan.pieces || (plan.possible && !scanner.IsFeederLoaded());
}

bool ScanSession::SetupScan() {
    turnedPage_.Release();
    return scanner.SetupFinalScan(xResolution, scaling, setup_.bitsPerPixel, setup_.window, setup_.invert);
}

// A cancelled transfer ends the batch: the feeder takes no further sheet.
// A batch that ends ends its multi-page file.
bool ScanSession::ContinueBatch(std::int32_t remaining) {
    EndProgress();
    DropHeldScan();
    DropCodedStream();
    if (!ContinueWithNextSheet(remaining)) {
        EndDocument();
        return false;
    }
    return true;
}

bool ScanSession::ContinueWithNextSheet(std::int32_t remaining) {
    if (scanner.Halted() || cancelled_) return false;
    const bool more = setup_.fromFeeder ? (remaining > 1 || remaining == -1) && scanner.IsFeederLoaded()
                                        : remaining > 1;
    if (!more || !SetupScan()) return false;
    ++page_;
    return SkipBlankSheets();
}

// The indicator is a nicety: when it cannot be shown for want of memory,
// the transfer goes on without it.
void ScanSession::BeginProgress(std::uint32_t rows) {
    if (!indicators_ || indicator_ == nullptr) return;
    try {
        const int pages = !setup_.fromFeeder && imagesAsked_ > 0 ? imagesAsked_ : 0;
        indicator_->Show(page_, pages, rows);
        showing_ = true;
    } catch (...) {
        indicator_->Hide();
    }
}

bool ScanSession::AdvanceProgress(std::uint32_t rowsDone) {
    if (!showing_ || cancelled_) return cancelled_;
    bool cancel = false;
    try {
        cancel = indicator_->Update(rowsDone);
    } catch (...) {
    }
    if (!cancel) return false;
    cancelled_ = true;
    scanner.EndScan();
    EndProgress();
    return true;
}

void ScanSession::EndProgress() {
    if (!showing_) return;
    showing_ = false;
    indicator_->Hide();
}
