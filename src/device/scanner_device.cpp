// ScannerDevice: every conversation with the scanner command library while
// the source is open. The library table is looked up on every call (not
// cached), so the table a test installs takes effect at once.
//
// Reading into DIB rows asks the scanner for as many whole lines as fit
// its largest read (kMaxScanRead, 64000 bytes) at a time. Top-down rows
// (memory strips) take the lines straight into the destination; bottom-up
// rows (a DIB) take them through a block of that size, since each read's
// lines go to rows in the other order. A longer line is read in pieces
// straight into its row, so no line length makes the reader stall. Every
// byte of the rows is written: the lines, zero padding, zeros for what the
// scanner did not send. Nothing is placed unless every row fits the
// destination.
#include "device/scanner_device.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "imaging/dib_format.h"
#include "platform/debug_output.h"
#include "platform/profile.h"
#include "resources/resource_ids.h"
#include "device/error_message.h"
#include "device/scan_reads.h"

namespace {

// ReadScanData's mode: 2 starts the scan just set up, 0 goes on reading.
constexpr std::int16_t kStartScan = 2;
constexpr std::int16_t kContinueScan = 0;
constexpr std::int16_t kOpenStatusNoCommunication = -10;
// ReadScanData's status while a sheet is stuck in the document feeder.
constexpr std::int16_t kReadStatusFeederJam = -12;

constexpr std::uint32_t kRawChunk = 60000;

// Block types and parameter codes of the command library.
constexpr std::int16_t kBlockToneMap = 1;
constexpr std::int16_t kBlockColourMatrix = 2;
constexpr std::int16_t kColourMatrixSize = 9;
constexpr std::int16_t kParamReset = 1;
constexpr std::int16_t kParamResolution = 8;
constexpr std::int16_t kParamInvert = 22;
constexpr std::int16_t kParamDataType = 25;
constexpr std::int16_t kParamDataWidth = 26;
constexpr std::int16_t kParamUseToneMap = 28;
constexpr std::int16_t kParamColourMatrix = 36;
constexpr std::int16_t kDataTypeBiLevel = 0;
constexpr std::int16_t kDataTypeGrey = 4;
constexpr std::int16_t kDataTypeColour = 5;
constexpr std::int16_t kBuiltInMatrix = 7;
constexpr std::int16_t kDownloadedMatrix = -1;

// Inquiry codes with their forms.
constexpr std::int16_t kInquirePhysicalWidth = 18;
constexpr std::int16_t kInquirePhysicalHeight = 19;
constexpr std::int16_t kFormPhysical = 72;
constexpr std::int16_t kInquireFeederEnabled = 43;
constexpr std::int16_t kInquireFeederLoaded = 44;
constexpr std::int16_t kInquirePixelsPerLine = 51;
constexpr std::int16_t kInquireBytesPerLine = 52;
constexpr std::int16_t kInquireLines = 53;
constexpr std::int16_t kFormScan = 82;

constexpr const char* kProfileSection = "Test";
constexpr const char* kHighlightKey = "Highlight";
constexpr const char* kGammaKey = "GammaX10";
constexpr int kDefaultHighlight = 220;
// What the tone curve can use: the highlight is an input level above the
// shadow (0), the gamma (times ten) a positive exponent of up to 10.
constexpr int kLowestHighlight = 1;
constexpr int kHighestHighlight = 255;
constexpr int kLowestGammaX10 = 1;
constexpr int kHighestGammaX10 = 100;
constexpr double kPreviewGamma = 2.2;
constexpr double kFinalGamma = 2.2;

// A setting of the profile when it is a whole number in [lowest, highest]
// written as digits only (blanks around them allowed); 0 when the key is
// missing, malformed ("abc", "2.2") or out of range.
int ProfileSetting(const char* key, int lowest, int highest) {
    std::string text;
    if (!platform::ProfileGetText(kProfileSection, key, &text)) return 0;
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    if (first == std::string::npos || last - first > 5) return 0;
    int value = 0;
    for (std::size_t i = first; i <= last; ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        value = value * 10 + (text[i] - '0');
    }
    return value >= lowest && value <= highest ? value : 0;
}

int Inquire(std::int16_t code, std::int16_t form) {
    std::int16_t value = 0;
    Scanner().InquireParameter(code, form, &value);
    return value;
}

}  // namespace

ScannerDevice::ScannerDevice() {
    geometryHandle_ = platform::GlobalAllocate(platform::kGmemMoveable | platform::kGmemZeroInit, sizeof(ScanGeometry));
    geometry_ = static_cast<ScanGeometry*>(platform::GlobalLockBlock(geometryHandle_));
    if (geometry_ == nullptr) {
        // Without the block the device keeps its geometry in itself rather
        // than handing the library a null record.
        platform::GlobalFreeBlock(geometryHandle_);
        geometryHandle_ = nullptr;
        geometry_ = &spareGeometry_;
    }
}

ScannerDevice::~ScannerDevice() {
    isOpen_ = 0;
    // The device may go while the module unloads; a library never loaded
    // is not loaded just to be asked for its last error.
    if (ScannerLibraryInUse()) Scanner().GetCommandError();
    ReleaseBandBuffer();
    DropHeldScan();
    if (geometryHandle_ != nullptr) {
        platform::GlobalUnlockBlock(geometryHandle_);
        platform::GlobalFreeBlock(geometryHandle_);
    }
}

void ScannerDevice::SetWindowHandle(void* window) { windowHandle_ = window; }

bool ScannerDevice::Open() {
    if (windowHandle_ == nullptr) return false;
    if (isOpen_ == 1) return true;
    const auto window = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(windowHandle_));
    const std::int16_t status = Scanner().OpenScanner(window, 1);
    if (status == kOpenStatusNoCommunication) {
        openFailure_ = IDS_NO_COMMUNICATION;
        ShowErrorMessage(IDS_NO_COMMUNICATION);
        return false;
    }
    if (status != 0) {
        openFailure_ = IDS_OPEN_FAILED;
        ShowErrorMessage(IDS_OPEN_FAILED);
        return false;
    }
    openFailure_ = 0;
    isOpen_ = 1;
    return true;
}

int ScannerDevice::GetKind() {
    if (isOpen_ == 1) return kind_;
    kind_ = 0;
    if (!Open()) return 0;
    if (Scanner().ResetScanner() != 0) {
        // The device stays open with kind 0: later set-ups fail without
        // asking the scanner again.
        openFailure_ = IDS_NO_COMMUNICATION;
        ShowErrorMessage(IDS_NO_COMMUNICATION);
        kind_ = 0;
        return 0;
    }
    Scanner().SetParameter(kParamDataType, kDataTypeColour);
    kind_ = Scanner().GetCommandError() != 0 ? 1 : 2;
    return kind_;
}

bool ScannerDevice::SetupPreview(int resolution) {
    DropHeldScan();
    if (GetKind() == 0) return false;
    plan_ = ScanPlan{};
    const ScannerLibrary& scanner = Scanner();
    scanner.ResetScanner();
    scanner.SetScanResolution(static_cast<std::int16_t>(resolution), static_cast<std::int16_t>(resolution));
    scanner.SetParameter(kParamReset, 0);
    scanner.SetParameter(kParamDataType, kDataTypeColour);
    bool grey = false;
    if (scanner.GetCommandError() != 0) {
        scanner.SetParameter(kParamDataType, kDataTypeGrey);
        scanner.SetParameter(kParamDataWidth, 8);
        grey = true;
    }
    // Blue, green, red: the order of the preview buffer and of a DIB.
    LoadColourMatrix(false);
    // The preview is read as the scanner sees the page, without the tone
    // map: the preview then applies the tone map itself, after the same
    // grey or black-and-white conversion a final scan of that type gets.
    std::uint8_t table[256];
    SettingsToneMap(kPreviewGamma, table, tone_);
    for (int input = 0; input < 256; ++input) previewLevels_[input] = table[255 - input];
    scanner.SetParameter(kParamUseToneMap, 0);
    scanner.GetScanGeometry(geometry_);
    halt_ = Halt::None;
    if (grey) {
        // The preview buffer holds three bytes per pixel; the grey bytes
        // the scanner sends are widened after reading.
        geometry_->bytesPerLine = static_cast<std::int16_t>(geometry_->pixelsPerLine * 3);
        geometry_->totalBytes = std::int32_t(geometry_->lines) * geometry_->bytesPerLine;
    }
    readMode_ = kStartScan;
    return true;
}

bool ScannerDevice::SetupFinalScan(std::uint32_t xResolution, std::uint32_t scaling, std::uint32_t bitsPerPixel,
                                   const std::uint16_t* window, std::uint32_t invert) {
    DropHeldScan();
    if (GetKind() == 0) return false;
    final_ = FinalSetup{xResolution, scaling, bitsPerPixel, invert};
    keepRgbOrder_ = true;  // red, green, blue
    SettingsToneMap(kFinalGamma, finalToneMap_, tone_);
    plan_ = window != nullptr ? PlanFinalScan(bitsPerPixel, window, scaling) : ScanPlan{};
    band_ = -1;
    bandLeft_ = 0;
    piecesEnded_ = false;
    halt_ = Halt::None;
    if (plan_.pieces && !plan_.possible) return false;
    // A frame in pieces: the scanner gets the whole window now (which it
    // cuts), and each piece when the reads reach it.
    SendFinalSetup(window);
    return true;
}

ScanPlan ScannerDevice::PlanFinalScan(std::uint32_t bitsPerPixel, const std::uint16_t* window, std::uint32_t scaling) {
    if (window == nullptr) return ScanPlan{};
    const int percent = static_cast<int>(std::min<std::uint32_t>(scaling, 1000));
    const ScanPlan plan = PlanScan(window, bitsPerPixel, 0, 0, percent);
    if (!plan.pieces) return plan;
    // Pieces are cut from the part of the frame on the bed only.
    return PlanScan(window, bitsPerPixel, Inquire(kInquirePhysicalWidth, kFormPhysical),
                    Inquire(kInquirePhysicalHeight, kFormPhysical), percent);
}

void ScannerDevice::SendFinalSetup(const std::uint16_t* window) {
    const ScannerLibrary& scanner = Scanner();
    scanner.ResetScanner();
    switch (final_.bitsPerPixel) {
        case 1:
            scanner.SetParameter(kParamDataType, kDataTypeBiLevel);
            break;
        case 8:
            scanner.SetParameter(kParamDataType, kDataTypeGrey);
            scanner.SetParameter(kParamDataWidth, 8);
            break;
        case 24:
            scanner.SetParameter(kParamDataType, kDataTypeColour);
            LoadColourMatrix(keepRgbOrder_);
            break;
        default:
            break;
    }
    scanner.DownloadBlock(kBlockToneMap, finalToneMap_);
    scanner.SetParameter(kParamUseToneMap, -1);
    scanner.SetParameter(kParamInvert, static_cast<std::int16_t>(final_.invert));
    scanner.SetScaling(static_cast<std::int16_t>(final_.scaling), static_cast<std::int16_t>(final_.scaling));
    // Y is scanned at the X resolution; the window's vertical values were
    // already stretched by X / Y.
    scanner.SetScanResolution(static_cast<std::int16_t>(final_.xResolution),
                              static_cast<std::int16_t>(final_.xResolution));
    if (window != nullptr) {
        // The library takes a writable record; hand it a copy of the five values.
        std::uint16_t record[5];
        std::copy(window, window + 5, record);
        scanner.SetScanWindow(record, 0);
    }
    scanner.GetScanGeometry(geometry_);
    readMode_ = kStartScan;
}

int ScannerDevice::StartPiece(int band, int column) {
    std::uint16_t window[5];
    const int lines = PieceWindow(plan_, band, column, window);
    SendFinalSetup(window);
    const ScanColumn& piece = plan_.columns[static_cast<std::size_t>(column)];
    if (geometry_->pixelsPerLine != piece.pixels || geometry_->bytesPerLine != piece.bytesPerLine ||
        geometry_->lines != lines) {
        platform::DebugOutput("StartPiece: the scanner did not take the piece as planned");
        return -1;
    }
    return lines;
}

bool ScannerDevice::NextBand() {
    if (piecesEnded_ || Halted()) return false;
    const int band = band_ + 1;
    if (std::int64_t(band) * plan_.bandLines >= plan_.lines) return false;
    band_ = band;
    piecesEnded_ = true;  // until the band is ready
    const std::size_t line = static_cast<std::size_t>(plan_.bytesPerLine);
    if (plan_.columns.size() == 1) {
        const int lines = StartPiece(band, 0);
        if (lines <= 0) return false;
        bandLeft_ = line * static_cast<std::size_t>(lines);
        piecesEnded_ = false;
        return true;
    }
    // Several columns: the band's lines of each column go side by side into
    // the band buffer, which then hands out whole lines of the frame.
    const std::size_t most = line * static_cast<std::size_t>(plan_.bandLines);
    if (bandBuffer_ == nullptr || bandBufferSize_ < most) {
        ReleaseBandBuffer();
        bandHandle_ = platform::GlobalAllocate(platform::kGmemMoveable, most);
        bandBuffer_ = static_cast<std::uint8_t*>(platform::GlobalLockBlock(bandHandle_));
        if (bandBuffer_ == nullptr) {
            ReleaseBandBuffer();
            platform::DebugOutput("NextBand: Can't alloc band buffer");
            return false;
        }
        bandBufferSize_ = most;
    }
    int lines = 0;
    for (std::size_t column = 0; column < plan_.columns.size(); ++column) {
        lines = StartPiece(band, static_cast<int>(column));
        if (lines <= 0) return false;
        const ScanColumn& piece = plan_.columns[column];
        const auto bytes = static_cast<std::size_t>(piece.bytesPerLine);
        for (int row = 0; row < lines; ++row) {
            std::uint8_t* at = bandBuffer_ + line * static_cast<std::size_t>(row) + piece.byteOffset;
            if (ReadWindow(at, bytes) != bytes || Halted()) return false;
        }
    }
    bandAt_ = 0;
    bandLeft_ = line * static_cast<std::size_t>(lines);
    piecesEnded_ = false;
    return true;
}

void ScannerDevice::ReleaseBandBuffer() {
    if (bandHandle_ != nullptr) {
        if (bandBuffer_ != nullptr) platform::GlobalUnlockBlock(bandHandle_);
        platform::GlobalFreeBlock(bandHandle_);
    }
    bandHandle_ = nullptr;
    bandBuffer_ = nullptr;
    bandBufferSize_ = 0;
}

std::size_t ScannerDevice::ReadWindow(std::uint8_t* into, std::size_t bytes) {
    std::int32_t got = 0;
    NoteReadStatus(
        Scanner().ReadScanData(static_cast<std::int16_t>(readMode_), into, static_cast<std::int32_t>(bytes), &got));
    readMode_ = kContinueScan;
    // A library answering more than was asked for is held to the request.
    return got <= 0 ? std::size_t(0) : std::min(static_cast<std::size_t>(got), bytes);
}

void ScannerDevice::DropHeldScan() {
    if (heldHandle_ != nullptr) {
        if (held_ != nullptr) platform::GlobalUnlockBlock(heldHandle_);
        platform::GlobalFreeBlock(heldHandle_);
    }
    heldHandle_ = nullptr;
    held_ = nullptr;
    heldSize_ = 0;
    heldAt_ = 0;
}

bool ScannerDevice::HoldScan(const std::function<bool(std::size_t)>& stop) {
    DropHeldScan();
    const int bytesPerLine = GetBytesPerLine();
    const int lines = GetLineCount();
    if (bytesPerLine <= 0 || lines <= 0) return false;
    const std::uint64_t bytes = std::uint64_t(bytesPerLine) * std::uint64_t(lines);
    if (bytes > SIZE_MAX) return false;
    // The block is the device's only once it is whole: whatever `stop`
    // does meanwhile (end the scan, say) cannot reach it.
    platform::GlobalHandle handle = platform::GlobalAllocate(platform::kGmemMoveable, static_cast<std::size_t>(bytes));
    auto* block = static_cast<std::uint8_t*>(platform::GlobalLockBlock(handle));
    if (block == nullptr) {
        platform::GlobalFreeBlock(handle);
        return false;
    }
    // Read as a transfer reads: in the scanner's chunks, up to the end.
    std::size_t size = 0;
    while (size < bytes) {
        const std::size_t chunk = std::min<std::size_t>(kRawChunk, static_cast<std::size_t>(bytes) - size);
        const std::size_t got = ReadScan(block + size, chunk);
        size += got;
        if (got < chunk || Halted()) break;
        if (stop && stop(size)) {
            platform::GlobalUnlockBlock(handle);
            platform::GlobalFreeBlock(handle);
            return false;
        }
    }
    DropHeldScan();
    heldHandle_ = handle;
    held_ = block;
    heldSize_ = size;
    heldAt_ = 0;
    heldRgbOrder_ = keepRgbOrder_;
    return true;
}

std::size_t ScannerDevice::ReadScan(std::uint8_t* into, std::size_t bytes) {
    if (held_ != nullptr) {
        const std::size_t n = std::min(bytes, heldSize_ - heldAt_);
        std::memcpy(into, held_ + heldAt_, n);
        heldAt_ += n;
        return n;
    }
    if (!plan_.pieces) return ReadWindow(into, bytes);
    std::size_t total = 0;
    while (total < bytes) {
        if (bandLeft_ == 0 && !NextBand()) break;
        const std::size_t n = std::min(bytes - total, bandLeft_);
        std::size_t got = n;
        if (plan_.columns.size() > 1) {
            std::memcpy(into + total, bandBuffer_ + bandAt_, n);
            bandAt_ += n;
        } else {
            got = ReadWindow(into + total, n);
        }
        total += got;
        bandLeft_ -= got;
        if (got < n) {
            // The scanner stopped inside a piece: the frame ends there.
            piecesEnded_ = true;
            bandLeft_ = 0;
            break;
        }
    }
    return total;
}

void ScannerDevice::SendResolution(std::uint32_t x, std::uint32_t y) {
    if (Scanner().SetParameter(kParamResolution, static_cast<std::int16_t>(x)) == 0)
        Scanner().SetParameter(kParamResolution, static_cast<std::int16_t>(y));
}

void ScannerDevice::LoadColourMatrix(bool keepRgbOrder) {
    // The pieces of a frame set up later keep the order asked for now.
    keepRgbOrder_ = keepRgbOrder;
    if (held_ != nullptr) {
        // The scan is already read: its pixels take the order asked for.
        if (final_.bitsPerPixel == 24 && keepRgbOrder != heldRgbOrder_) {
            for (std::size_t at = 0; at + 2 < heldSize_; at += 3) std::swap(held_[at], held_[at + 2]);
            heldRgbOrder_ = keepRgbOrder;
        }
        return;
    }
    const ScannerLibrary& scanner = Scanner();
    std::uint8_t matrix[kColourMatrixSize] = {};
    std::int16_t length = 0;

    scanner.SetParameter(kParamReset, 0);
    scanner.SetParameter(kParamColourMatrix, kBuiltInMatrix);
    if (scanner.GetCommandError() != 0) {
        // No built-in matrix 7: make a copy of matrix 0 the downloaded
        // matrix in use.
        scanner.SetParameter(kParamColourMatrix, 0);
        scanner.UploadBlock(kBlockColourMatrix, matrix, kColourMatrixSize, &length);
        scanner.DownloadBlock(kBlockColourMatrix, matrix);
        scanner.SetParameter(kParamColourMatrix, kDownloadedMatrix);
    }
    if (keepRgbOrder) return;

    // Exchanging the first and third byte of every row swaps the red and
    // blue outputs: the scanner then delivers blue, green, red.
    scanner.UploadBlock(kBlockColourMatrix, matrix, kColourMatrixSize, &length);
    for (int row = 0; row < 3; ++row) std::swap(matrix[3 * row], matrix[3 * row + 2]);
    scanner.DownloadBlock(kBlockColourMatrix, matrix);
}

// A setting that is missing, malformed or out of range gives way to its
// default for this scan and is left in the file as the user wrote it; a
// good one is written back as the same number.
void ScannerDevice::LoadToneMap(double gamma) {
    std::uint8_t table[256];
    SettingsToneMap(gamma, table);
    Scanner().DownloadBlock(kBlockToneMap, table);
    Scanner().SetParameter(kParamUseToneMap, -1);
}

void ScannerDevice::SetToneControls(const ToneControls& controls) {
    tone_ = controls;
    std::uint8_t table[256];
    SettingsToneMap(kPreviewGamma, table, tone_);
    for (int input = 0; input < 256; ++input) previewLevels_[input] = table[255 - input];
}

void ScannerDevice::SettingsToneMap(double gamma, std::uint8_t* table, const ToneControls& controls) {
    const int highlightSetting = ProfileSetting(kHighlightKey, kLowestHighlight, kHighestHighlight);
    const int gammaSetting = ProfileSetting(kGammaKey, kLowestGammaX10, kHighestGammaX10);
    const int highlight = highlightSetting != 0 ? highlightSetting : kDefaultHighlight;
    const int gammaTimesTen = gammaSetting != 0 ? gammaSetting : static_cast<int>(gamma * 10 + 0.5);

    if (table != nullptr) BuildScannerToneMap(ToneCalibration{highlight, gammaTimesTen * 0.1}, controls, table);

    if (highlightSetting != 0) platform::ProfileWriteInt(kProfileSection, kHighlightKey, highlightSetting);
    if (gammaSetting != 0) platform::ProfileWriteInt(kProfileSection, kGammaKey, gammaSetting);
}

void ScannerDevice::BuildToneMap(std::uint8_t* table, int shadow, unsigned highlight, double gamma) {
    BuildCalibrationCurve(table, shadow, highlight, gamma);
}

std::uint32_t ScannerDevice::ReadData(std::uint32_t count, void* buffer) {
    if (buffer == nullptr) return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t total = 0;
    std::uint32_t chunk = std::min(count, kRawChunk);
    for (;;) {
        chunk = std::min(chunk, count - total);
        const auto arrived = static_cast<std::uint32_t>(ReadScan(out + total, chunk));
        total += arrived;
        if (arrived != chunk || total >= count) return total;
    }
}

std::uint32_t ScannerDevice::ReadImageToDIB(int bytesPerLine, int lines, void* destination,
                                            std::size_t destinationSize, bool bottomUp) {
    lastReadLackedMemory_ = false;
    if (destination == nullptr) {
        platform::DebugOutput("ReadImageToDIB: Null pointer passed");
        return 0;
    }
    // A failed inquiry answers 0 bytes per line; such a scan reads nothing.
    if (bytesPerLine <= 0 || lines <= 0) return 0;
    const std::size_t line = static_cast<std::size_t>(bytesPerLine);
    const std::size_t stride = RowStride(static_cast<std::uint32_t>(bytesPerLine));
    const std::size_t rows = static_cast<std::size_t>(lines);
    if (stride * rows > destinationSize) {
        platform::DebugOutput("ReadImageToDIB: Destination too small");
        return 0;
    }
    const std::size_t linesPerRead = LinesPerRead(bytesPerLine);

    // Only bottom-up rows read several lines at a time need the block: the
    // lines arrive in the opposite order of the rows they go to. Otherwise
    // the scanner reads straight into the rows.
    platform::GlobalHandle bufferHandle = nullptr;
    std::uint8_t* buffer = nullptr;
    if (bottomUp && linesPerRead > 1) {
        bufferHandle = platform::GlobalAllocate(platform::kGmemMoveable, kMaxScanRead);
        buffer = static_cast<std::uint8_t*>(platform::GlobalLockBlock(bufferHandle));
        if (buffer == nullptr) {
            platform::GlobalFreeBlock(bufferHandle);
            platform::DebugOutput("ReadImageToDIB: Can't alloc temp buffer");
            std::memset(destination, 0, stride * rows);
            lastReadLackedMemory_ = true;
            return 0;
        }
    }

    auto* dib = static_cast<std::uint8_t*>(destination);
    // Row k of the scan: from the top, or (bottom-up) from the last row back.
    auto rowAt = [&](std::size_t k) { return dib + stride * (bottomUp ? rows - 1 - k : k); };
    auto read = [&](std::uint8_t* into, std::size_t bytes) { return ReadScan(into, bytes); };
    const std::size_t padding = stride - line;

    std::size_t placed = 0;  // rows written, from the first on
    if (line > kMaxScanRead) {
        // Lines longer than the block: piece by piece into the row.
        for (std::size_t done = 0; done < rows; ++done) {
            std::uint8_t* row = rowAt(placed);
            std::size_t arrived = 0;
            while (arrived < line) {
                const std::size_t piece = std::min<std::size_t>(kMaxScanRead, line - arrived);
                const std::size_t got = read(row + arrived, piece);
                arrived += got;
                if (got < piece) break;
            }
            if (arrived == 0) continue;
            std::memset(row + arrived, 0, stride - arrived);
            ++placed;
        }
    } else {
        for (std::size_t done = 0; done < rows;) {
            const std::size_t n = std::min(linesPerRead, rows - done);
            // Top-down, rows placed to placed + n - 1 follow one another:
            // the lines land at the start of that span and move out to
            // their strides, last first.
            std::uint8_t* into = buffer != nullptr ? buffer : rowAt(placed);
            const std::size_t got = read(into, n * line);
            // A line that arrived only in part is still placed, its missing
            // bytes zero.
            const std::size_t arrivedLines = (got + line - 1) / line;
            std::memset(into + got, 0, arrivedLines * line - got);
            for (std::size_t j = arrivedLines; j-- > 0;) {
                std::uint8_t* row = rowAt(placed + j);
                if (buffer != nullptr) {
                    std::memcpy(row, buffer + j * line, line);
                } else if (j > 0 && padding > 0) {
                    std::memmove(row, into + j * line, line);
                }
                std::memset(row + line, 0, padding);
            }
            placed += arrivedLines;
            // The line count is reached whether or not the scanner delivered.
            done += n;
        }
    }
    // Rows no line reached hold zeros, not what the memory held before.
    if (placed < rows) {
        std::uint8_t* first = bottomUp ? dib : dib + stride * placed;
        std::memset(first, 0, stride * (rows - placed));
    }

    if (bufferHandle != nullptr) {
        platform::GlobalUnlockBlock(bufferHandle);
        platform::GlobalFreeBlock(bufferHandle);
    }
    return static_cast<std::uint32_t>(placed * stride);
}

std::size_t ScannerDevice::LinesPerRead(int bytesPerLine) {
    if (bytesPerLine <= 0 || static_cast<std::uint32_t>(bytesPerLine) > kMaxScanRead) return 1;
    return kMaxScanRead / static_cast<std::uint32_t>(bytesPerLine);
}

void ScannerDevice::NoteReadStatus(std::int16_t status) {
    if (Halted()) return;
    if (status == kOpenStatusNoCommunication) {
        NoteAnswering();
        return;
    }
    if (status != kReadStatusFeederJam) return;
    halt_ = Halt::FeederJam;
    ShowErrorMessage(IDS_FEEDER_JAM);
}

void ScannerDevice::NoteAnswering() {
    if (Halted() || !ScannerConnectionLost()) return;
    // The scanner's process stopped answering in the middle of the scan.
    halt_ = Halt::StoppedAnswering;
    ShowErrorMessage(IDS_NO_COMMUNICATION);
}

int ScannerDevice::ScanQuestion(std::int16_t code) {
    const int value = Inquire(code, kFormScan);
    NoteAnswering();
    return value;
}

int ScannerDevice::GetPixelsPerLine() {
    if (plan_.pieces) return plan_.pixelsPerLine;
    return readMode_ == kStartScan ? ScanQuestion(kInquirePixelsPerLine) : geometry_->pixelsPerLine;
}

int ScannerDevice::GetBytesPerLine() {
    if (plan_.pieces) return plan_.bytesPerLine;
    return readMode_ == kStartScan ? ScanQuestion(kInquireBytesPerLine) : geometry_->bytesPerLine;
}

int ScannerDevice::GetLineCount() {
    if (plan_.pieces) return plan_.lines;
    return readMode_ == kStartScan ? ScanQuestion(kInquireLines) : geometry_->lines;
}

int ScannerDevice::GetPhysicalWidth() {
    return readMode_ == kStartScan ? Inquire(kInquirePhysicalWidth, kFormPhysical) : 0;
}

int ScannerDevice::GetPhysicalHeight() {
    return readMode_ == kStartScan ? Inquire(kInquirePhysicalHeight, kFormPhysical) : 0;
}

bool ScannerDevice::IsFeederEnabled() { return Inquire(kInquireFeederEnabled, kFormScan) > 0; }

bool ScannerDevice::IsFeederLoaded() { return Inquire(kInquireFeederLoaded, kFormScan) > 0; }

void ScannerDevice::EndScan() {
    DropHeldScan();
    Scanner().GetCommandError();
    Scanner().ResetScanner();
}

std::int32_t ScannerDevice::TotalBytes() const {
    if (plan_.pieces) return static_cast<std::int32_t>(std::min<std::int64_t>(INT32_MAX, std::int64_t(plan_.bytesPerLine) * plan_.lines));
    return geometry_->totalBytes;
}
