// ScanSession: the work of acquiring images while the source is open. It
// owns the scanner, holds the resolution and flavour the application
// negotiated, sets the final scan up, reads the scan into the three kinds
// of transfer and sets the next scan of a batch up. One exists per opening
// of the source, beside the window that shows it (a SessionWindow), whose
// image type and region the final scan takes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "acquisition/held_page.h"
#include "acquisition/image_types.h"
#include "acquisition/progress_indicator.h"
#include "imaging/rect32.h"
#include "device/scanner_device.h"
#include "platform/file.h"
#include "platform/global_memory.h"

class SessionWindow;
class ImageWriter;
struct PageFormat;
struct CodedStream;
struct DocumentFile;

// The new file, beside the file a file transfer names, that the transfer
// writes before it moves the file over that name. It is this transfer's
// own: made under a name no file had, and removed with this object unless
// it was moved over the name.
class PartFile {
public:
    PartFile() = default;
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    // Makes the file, open for writing; false when that folder takes no
    // new file or `fileName` no file.
    bool Create(const char* fileName);
    platform::File& file() { return file_; }
    // Closes the file and moves it over `fileName` in one step.
    bool MoveOver(const char* fileName);

private:
    platform::File file_;
    std::string name_;  // empty: nothing of this object's to remove
};
// Whether a file transfer could write `fileName`: the part file it would
// write is made and removed again.
bool CanWriteTransferFile(const char* fileName);

// What a reader answers, in place of a condition code, when the user
// cancelled the transfer.
constexpr int kTransferCancelled = -1;

class ScanSession {
public:
    ScanSession();
    virtual ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    // The window that shows this session; null until one is attached.
    void AttachWindow(SessionWindow* window) { window_ = window; }
    SessionWindow* window() const { return window_; }
    // What shows a transfer's progress; null for none.
    void AttachIndicator(ProgressIndicator* indicator) { indicator_ = indicator; }

    // Whether transfers show their progress (CAP_INDICATORS).
    void SetIndicators(bool show) { indicators_ = show; }
    // The application's window the source was enabled with, for the
    // progress window to stay above.
    void SetApplicationWindow(void* window) {
        if (indicator_ != nullptr) indicator_->SetApplicationWindow(window);
    }
    bool Indicators() const { return indicators_; }
    // The images the application asked for at the enabling (CAP_XFERCOUNT;
    // -1 as many as there are). A batch on the glass is that long; one from
    // the feeder is as long as its sheets, which no scanner tells.
    void SetImagesAsked(std::int32_t count) { imagesAsked_ = count; }
    // Shows the progress of the page being transferred, `rows` rows long.
    void BeginProgress(std::uint32_t rows);
    // Tells the indicator `rowsDone` rows are read and serves it. True when
    // the user cancelled: the scan is then ended on the scanner and the
    // batch stops.
    bool AdvanceProgress(std::uint32_t rowsDone);
    void EndProgress();
    // Whether the user cancelled the transfer of the scan set up last.
    bool TransferCancelled() const { return cancelled_; }
    // The page of the batch the scan set up last is: 1 for the final scan.
    int Page() const { return page_; }
    // The sheets dropped as blank right before the page set up last.
    int BlankSheetsBefore() const { return blanksBefore_; }
    // The frame the scan set up last takes, in 1/300 inch.
    Rect32 ScannedFrame() const;

    void SetResolution(std::uint32_t x, std::uint32_t y);
    std::uint32_t GetXResolution() const { return xResolution; }
    void SetInvert(std::uint32_t flag) { invert = flag; }
    // ICAP_AUTODISCARDBLANKPAGES: TWBP_DISABLE, TWBP_AUTO (the source
    // judges) or a byte count (a page whose strokes fill fewer bytes is
    // blank). Only sheets of the feeder are ever dropped: a page on the
    // glass was put there to be scanned.
    void SetBlankPages(std::int32_t setting) { blankPages_ = setting; }
    // The clockwise quarter turns (QuarterTurns of the capabilities) the
    // final scans set up from now on are delivered with.
    void SetQuarterTurns(int quarterTurns) { quarterTurns_ = (quarterTurns % 4 + 4) % 4; }
    int QuarterTurnsToSet() const { return quarterTurns_; }
    // The quarter turns of the scan set up last.
    int ScanQuarterTurns() const { return setup_.quarterTurns; }
    // The image type the window shows, and its depth.
    int GetImageTypeIndex();
    std::uint32_t GetBitsPerPixel();

    // Hands the scanner the final scan of `frame` in image type `imageType`
    // at the X resolution, and keeps that set-up for the rest of a batch.
    // `fromFeeder`: the feeder held a sheet when the final scan began.
    // Sheets judged blank are fed through and dropped first; false when
    // the scanner cannot be set up, or nothing is to be delivered
    // (NothingToDeliver).
    bool SetupFinalScan(int imageType, const Rect32& frame, bool fromFeeder);
    // The batch set up last had only blank sheets, or the user cancelled
    // while a sheet was read to be judged: nothing is to be delivered.
    bool NothingToDeliver() const { return nothingToDeliver_; }
    // Set-up only (MSG_ENABLEDSUIONLY): from that enabling to the disabling
    // the window's scan button keeps what the window shows as the set-up of
    // later scans, and nothing is scanned. `region` is the window's region
    // at the enabling.
    void BeginSetupOnly(const Rect32& region);
    bool SetupOnly() const { return setupOnly_; }
    const Rect32& SetupRegionBefore() const { return regionBefore_; }
    // The user accepted the set-up shown: true the first time only.
    bool AcceptSetup();
    bool SetupAccepted() const { return setupOnly_ && accepted_; }
    // Ends set-up only; true when it was and the user left without accepting.
    bool EndSetupOnly();
    // Whether the scanner can take the final scan of `frame` in `imageType`
    // at the X resolution: a frame larger than the scanner library takes at
    // once is scanned in pieces, which needs pieces that join exactly and a
    // page that stays on the glass (never the feeder's sheets).
    bool CanScan(int imageType, const Rect32& frame);
    // After a transfer of a batch: sets the next scan up exactly as the final
    // scan did (on the flatbed the same region again, from the feeder its
    // next sheet) and returns true, or returns false when the batch ends:
    // `remaining` (CAP_XFERCOUNT, this transfer included) is 1 or less (or
    // -1 on the flatbed), the feeder has run out (or holds blank sheets
    // only), a sheet jammed, the scanner stopped answering, the user
    // cancelled, or the scanner cannot be set up.
    bool ContinueBatch(std::int32_t remaining);
    // Whether the scan set up last met a jam in the feeder.
    bool ScanJammed() const { return scanner.Jammed(); }
    // Whether the scanner stopped answering in the scan set up last (the
    // 64-bit source lost its helper).
    bool ScannerStoppedAnswering() const { return scanner.StoppedAnswering(); }
    // Whether the scanner halted the scan set up last, either way: the user
    // has been told why, and nothing more of it is read.
    bool ScanHalted() const { return scanner.Halted(); }
    // Whether the scanner inverts the scan set up last (a vanilla 1- or
    // 8-bit scan): its colour table and TIFF photometry then say so.
    bool ScanInverted() const { return setup_.invert != 0; }
    // The image type and resolution of the scan set up last: what its
    // transfers deliver, whatever the window shows since.
    const ImageTypeEntry& ScanType() const { return ImageTypeTable[setup_.imageType]; }
    std::uint32_t ScanResolution() const { return xResolution; }

    // The bed the scanner reported when the source was opened, in 1/300
    // inch; every scan window is held inside it. 0: not known.
    void SetBed(int width, int height) {
        bedWidth_ = width;
        bedHeight_ = height;
    }
    // What the dialog and the protocol ask of the scanner; nothing outside
    // the session reaches the device itself.
    // 0: no scanner; 1: a grey scanner (bi-level and grey); 2: colour too.
    int ScannerKind() const { return scanner.kind(); }
    // The window the scanner library is told about (the dialog's).
    void SetScannerWindow(void* window) { scanner.SetWindowHandle(window); }
    // Sets the scanner up for a preview at `resolution`; its tone levels,
    // the bytes it will send and reading them.
    bool SetupPreview(int resolution) { return scanner.SetupPreview(resolution); }
    const std::uint8_t* PreviewLevels() const { return scanner.PreviewLevels(); }
    std::int32_t TotalBytes() const { return scanner.TotalBytes(); }
    std::uint32_t ReadData(std::uint32_t count, void* buffer) { return scanner.ReadData(count, buffer); }
    // A sheet held whole to be judged blank is let go (the batch was
    // reset before it was delivered).
    void DropHeldScan() {
        scanner.DropHeldScan();
        turnedPage_.Release();
    }
    // The application's tone controls, for the final scan's tone map and
    // the preview's levels.
    void SetToneControls(const ToneControls& controls) { scanner.SetToneControls(controls); }
    int GetPhysicalWidth() { return scanner.GetPhysicalWidth(); }
    int GetPhysicalHeight() { return scanner.GetPhysicalHeight(); }
    int GetBytesPerLine() { return scanner.GetBytesPerLine(); }
    int GetLineCount() { return scanner.GetLineCount(); }
    int GetPixelsPerLine() { return scanner.GetPixelsPerLine(); }
    // The image the transfers deliver of the scan set up last: the
    // scanner's lines, turned as the set-up says. Unturned, each is the
    // scanner's own answer, asked as before; ImageBytesPerLine is without
    // padding.
    std::uint32_t ImageWidth();
    std::uint32_t ImageLength();
    std::uint32_t ImageBytesPerLine();
    bool IsDeviceOnline() { return scanner.GetKind() != 0; }
    bool IsFeederEnabled() { return scanner.IsFeederEnabled(); }
    bool IsFeederLoaded() { return scanner.IsFeederLoaded(); }
    void EndScan() { scanner.EndScan(); }
    // Shows the box of the last failure to open the scanner (when there was
    // one and boxes are allowed).
    void ShowOpenFailure();

    // The packed DIB of the scan set up last. Null when it cannot be had:
    // `failure` (when given) then holds TWCC_LOWMEMORY for a block that
    // cannot be had, TWCC_BUMMER when the scanner sent no data at all.
    // kTransferCancelled when the user cancelled it.
    platform::GlobalHandle ReadNativeImage(int* failure = nullptr);
    // Before a memory transfer's first strip: a turned page is read whole
    // and turned now (the progress shows it). A condition code, or
    // kTransferCancelled.
    int PrepareMemoryStrips();
    std::uint32_t ReadMemoryStrip(void* buffer, std::uint32_t length);
    // A condition code, or kTransferCancelled (the file is then left empty).
    // `compression` (TWCP_) and `quality` (1 to 100) code the file: BMP and
    // uncompressed TIFF are the source's own writers, the rest the
    // encoders'. TWFF_TIFFMULTI and TWFF_PDF pages go into one file while
    // the name stays the same (see EndDocument).
    int WriteImageFile(const char* fileName, std::uint16_t format, std::uint16_t compression = 0, int quality = 75);
    // The multi-page file the transfers add to is ended: the next page makes
    // a new one. It is whole after every page, so nothing is left to write.
    void EndDocument();
    // Ends it unless it is the file of `fileName`.
    void EndDocumentUnlessNamed(const char* fileName);
    // The next strip of a compressed memory transfer (TWCP_JPEG or
    // TWCP_GROUP4): at most `length` bytes into `buffer`, their count in
    // `written`, and `last` set with the strip that ends the image. A
    // condition code, or kTransferCancelled.
    int ReadCodedStrip(void* buffer, std::uint32_t length, std::uint16_t compression, int quality,
                       std::uint32_t* written, bool* last);
    // Drops a compressed memory transfer under way.
    void DropCodedStream();
    // A scan whose data ended before its announced size: the user is told
    // (unless the scanner's halt already said why) and the transfer fails, TWCC_BUMMER.
    int ScanIncomplete();

    // --- State ---
    std::uint32_t xResolution = 150;
    std::uint32_t yResolution = 150;
    std::uint32_t scaling = 100;
    std::uint32_t invert = 0;

private:
    // The session's own readers (scan_readers.cpp) reach the device; the
    // dialog and the protocol ask the session.
    friend struct SessionDevice;
    ScannerDevice scanner;
    // What the final scan handed the scanner, for the next scans of a batch.
    struct ScanSetup {
        int imageType = 0;
        std::uint32_t bitsPerPixel = 0;
        std::uint16_t window[5] = {};
        std::uint32_t invert = 0;
        bool fromFeeder = false;  // the feeder held a sheet when the final scan began
        int quarterTurns = 0;     // clockwise, 0 to 3
    };
    // The native DIB of a turned scan: read whole, turned into the block.
    platform::GlobalHandle ReadTurnedNativeImage(int& reason);
    bool SetupScan();
    bool ContinueWithNextSheet(std::int32_t remaining);
    // Drops the blank sheets from the one set up on: true with a sheet to
    // deliver set up, false when the feeder ran out or a set-up failed.
    bool SkipBlankSheets();
    // Reads the sheet set up and judges it; a sheet that cannot be read
    // whole (no memory, a jam) is not blank.
    bool SheetIsBlank();
    // The image file written whole into `file`, new and empty.
    int WriteNewImageFile(platform::File& file, std::uint16_t format);
    // The five-value scan window record from the frame and resolution.
    void BuildScanWindow(const Rect32& frame, std::uint16_t window[5]) const;

    // A page through an encoder, read from the scanner; the writer has
    // begun nothing yet.
    int WriteCodedPage(ImageWriter& writer, std::uint16_t compression, int quality);
    // The page set up, as an encoder takes it, and the scanner's bytes per
    // line; TWCC_BUMMER when the scanner's sizes do not fit together.
    int DescribeCodedPage(std::uint16_t compression, int quality, PageFormat* page, std::uint32_t* bytesPerLine);
    int WriteTurnedPage(ImageWriter& writer, PageFormat page);
    int WriteDocumentPage(const char* fileName, std::uint16_t format, std::uint16_t compression, int quality);

    ScanSetup setup_;
    std::unique_ptr<CodedStream> coded_;
    std::unique_ptr<DocumentFile> document_;
    SessionWindow* window_ = nullptr;
    ProgressIndicator* indicator_ = nullptr;
    bool indicators_ = true;
    bool showing_ = false;
    bool cancelled_ = false;
    bool setupOnly_ = false;
    bool accepted_ = false;
    Rect32 regionBefore_;
    int page_ = 1;
    std::int32_t imagesAsked_ = -1;
    int blanksBefore_ = 0;
    std::int32_t blankPages_ = -2;  // TWBP_DISABLE
    int quarterTurns_ = 0;
    // A turned scan's page for its memory strips, and the next row to hand out.
    HeldPage turnedPage_;
    std::uint32_t stripRow_ = 0;
    bool nothingToDeliver_ = false;
    int bedWidth_ = 0;
    int bedHeight_ = 0;
};
