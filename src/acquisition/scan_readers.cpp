// The session's three readers behind the transfer triplets: the native DIB,
// the memory strip and the BMP or TIFF file. The scan is read from the
// scanner while it is handed over: the final scan's set-up only prepared it.
// Files are written as the scan is read, through a working block of about
// a megabyte whatever the size of the page; a BMP file, whose rows run
// bottom-up, is filled from its end towards its start.
//
// 24-bit rows are blue, green, red in a DIB and a BMP file, red, green,
// blue in memory strips and TIFF files. The scanner's colour matrix chooses
// the order before a read; pixels are never converted here.
//
// A turned page cannot stream: its first row needs the scanner's last. Each
// reader then reads the page whole into a HeldPage (the progress shows the
// read, Cancel stops it), passes it through the PageTurnStage and hands the
// turned page out; an unturned page streams as it always did.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "acquisition/held_page.h"
#include "acquisition/image_types.h"
#include "acquisition/page_turn_stage.h"
#include "acquisition/scan_session.h"
#include "device/error_message.h"
#include "imaging/bmp_file.h"
#include "imaging/dib_format.h"
#include "imaging/tiff_header.h"
#include "imaging/turn_image.h"
#include "platform/file.h"
#include "platform/global_memory.h"
#include "protocol/manager_services.h"
#include "resources/resource_ids.h"
#include "twain/twain.h"

// The device behind a session, for the session's readers below.
struct SessionDevice {
    static ScannerDevice& Of(ScanSession& session) { return session.scanner; }
};

namespace {

// The scanner is read for a TIFF file in chunks of kTiffChunk bytes, and
// kTiffChunksPerWrite of them are gathered for each write of the file.
constexpr std::uint32_t kTiffChunk = 60000;
constexpr std::uint32_t kTiffChunksPerWrite = 16;
// The rows gathered for each write of a BMP file.
constexpr std::uint64_t kBmpRowsBytes = 1 << 20;

// The scanner answers 16-bit signed values; a failed or nonsensical answer
// counts as nothing to read.
std::uint32_t NonNegative(int value) { return value > 0 ? static_cast<std::uint32_t>(value) : 0; }

// While a transfer shows its progress, the scanner is read in pieces of
// about this many bytes: the indicator is served between them, so a Cancel
// takes effect within one piece even from a slow scanner.
constexpr std::uint64_t kProgressPieceBytes = 128 * 1024;

// The lines of one such piece: a whole number of the scanner's reads, so
// the scanner is asked exactly what one read of the whole would ask.
std::uint64_t ProgressPieceLines(std::uint32_t bytesPerLine) {
    const std::uint64_t perRead = ScannerDevice::LinesPerRead(static_cast<int>(bytesPerLine));
    const std::uint64_t reads = bytesPerLine == 0 ? 1 : kProgressPieceBytes / (perRead * bytesPerLine);
    return perRead * std::max<std::uint64_t>(reads, 1);
}

// A scratch block of global memory, locked while it lives.
class WorkingBlock {
public:
    explicit WorkingBlock(std::uint64_t bytes)
        : handle_(bytes <= SIZE_MAX ? platform::GlobalAllocate(platform::kGmemMoveable, static_cast<std::size_t>(bytes))
                                    : nullptr),
          data_(static_cast<std::uint8_t*>(platform::GlobalLockBlock(handle_))) {}
    ~WorkingBlock() {
        if (data_ != nullptr) platform::GlobalUnlockBlock(handle_);
        platform::GlobalFreeBlock(handle_);
    }
    WorkingBlock(const WorkingBlock&) = delete;
    WorkingBlock& operator=(const WorkingBlock&) = delete;

    std::uint8_t* bytes() const { return data_; }

private:
    platform::GlobalHandle handle_;
    std::uint8_t* data_;
};

// Reads the whole scan set up last into `page`, top-down, in rows of the
// scanner's line padded to four, in pieces with the progress told between
// them as `progressRows` rows for the whole. A condition code:
// TWCC_LOWMEMORY when the page's block (or a read's) cannot be had,
// TWCC_BUMMER when the scanner sent nothing, halted, or describes lines
// shorter than their pixels; the box of an incomplete scan; or
// kTransferCancelled.
int ReadWholePage(ScanSession& session, HeldPage& page, std::uint32_t progressRows) {
    ScannerDevice& scanner = SessionDevice::Of(session);
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::uint32_t pixels = NonNegative(scanner.GetPixelsPerLine());
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    const std::uint32_t bitsPerPixel = session.ScanType().bitsPerPixel;
    if (bytesPerLine == 0 || lines == 0 || PackedRowBytes(pixels, bitsPerPixel) > bytesPerLine) return TWCC_BUMMER;
    const std::size_t stride = RowStride(bytesPerLine);
    if (!page.Allocate(pixels, lines, bitsPerPixel, stride)) return TWCC_LOWMEMORY;

    const std::uint64_t perPiece = ProgressPieceLines(bytesPerLine);
    std::uint64_t placed = 0;
    for (std::uint64_t done = 0; done < lines;) {
        const std::uint64_t n = std::min<std::uint64_t>(perPiece, lines - done);
        placed += scanner.ReadImageToDIB(static_cast<int>(bytesPerLine), static_cast<int>(n),
                                         page.Row(static_cast<std::uint32_t>(done)), static_cast<std::size_t>(n * stride),
                                         false);
        if (scanner.TakeReadLackedMemory()) return TWCC_LOWMEMORY;
        if (scanner.Halted()) return TWCC_BUMMER;
        done += n;
        if (session.AdvanceProgress(static_cast<std::uint32_t>(done * progressRows / lines))) return kTransferCancelled;
    }
    if (placed == 0) return TWCC_BUMMER;
    if (placed < stride * lines) return session.ScanIncomplete();
    return TWCC_SUCCESS;
}

// The scan read whole and turned into `turned`, as ReadWholePage answers;
// the page as read is let go before the turned one is handed out.
int ReadTurnedPage(ScanSession& session, HeldPage& turned, std::uint32_t progressRows) {
    const PageTurnStage turn(session.ScanQuarterTurns());
    HeldPage page;
    const int read = ReadWholePage(session, page, progressRows);
    if (read != TWCC_SUCCESS) return read;
    return turn.Apply(page, turned) ? TWCC_SUCCESS : TWCC_LOWMEMORY;
}

// A held page's rows into the file, a batch at a time through a working
// block: rows of `fileStride` bytes (the page's padded or cut to it), the
// last row first for a bottom-up file.
int WriteHeldRows(const HeldPage& page, platform::File& file, std::size_t fileStride, bool bottomUp) {
    const std::uint32_t perBatch =
        static_cast<std::uint32_t>(std::max<std::uint64_t>(1, kBmpRowsBytes / std::max<std::size_t>(fileStride, 1)));
    WorkingBlock work(std::uint64_t{perBatch} * fileStride);
    if (work.bytes() == nullptr) return TWCC_LOWMEMORY;
    const std::uint32_t lines = page.lines();
    for (std::uint32_t done = 0; done < lines;) {
        const std::uint32_t n = std::min(perBatch, lines - done);
        const std::uint32_t first = bottomUp ? lines - done - n : done;
        if (page.CopyRows(first, n, work.bytes(), std::size_t{perBatch} * fileStride, fileStride, bottomUp) != n ||
            !file.Write(work.bytes(), std::size_t{n} * fileStride)) {
            return TWCC_BUMMER;
        }
        done += n;
    }
    return TWCC_SUCCESS;
}

// A turned scan as a TIFF file: the header of the turned image, then its
// rows unpadded, top-down.
int WriteTurnedTiff(ScanSession& session, platform::File& file, std::uint32_t bitsPerPixel, std::uint32_t resolution,
                    bool inverted) {
    const std::uint32_t width = session.ImageWidth();
    const std::uint32_t lines = session.ImageLength();
    session.BeginProgress(lines);
    HeldPage page;
    const int read = ReadTurnedPage(session, page, lines);
    if (read != TWCC_SUCCESS) return read;
    const std::uint32_t rowBytes = static_cast<std::uint32_t>(PackedRowBytes(width, bitsPerPixel));
    std::uint8_t header[kTiffHeaderSize];
    // Both axes are scanned at one resolution, so the turn leaves it as it is.
    FillTiffHeader(header, rowBytes, width, lines, bitsPerPixel, resolution, resolution, inverted);
    if (!file.Write(header, TiffHeaderSize())) return TWCC_BUMMER;
    const int written = WriteHeldRows(page, file, rowBytes, false);
    if (written != TWCC_SUCCESS) return written;
    return file.EndHere() ? TWCC_SUCCESS : TWCC_BUMMER;
}

// The TIFF header, then the bytes the scanner sends up to its end, read in
// chunks of kTiffChunk bytes (after a short chunk, one more read finds the
// end) and gathered in the working block of kTiffChunksPerWrite chunks,
// into the new, empty `file`. A scan that stops before the strip size the
// header announces fails (incomplete), and one that sends more is cut
// there; a scan that sends nothing at all fails before a byte is written.
int WriteTiffFile(ScanSession& session, platform::File& file, std::uint8_t* work, std::uint32_t bitsPerPixel,
                  std::uint32_t resolution, bool inverted) {
    ScannerDevice& scanner = SessionDevice::Of(session);
    // Asked one after the other, so the scanner hears the questions in the
    // same order on every compiler.
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::uint32_t pixelsPerLine = NonNegative(scanner.GetPixelsPerLine());
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    const std::uint64_t stripBytes = std::uint64_t(bytesPerLine) * lines;

    session.BeginProgress(lines);
    std::uint32_t filled = scanner.ReadData(kTiffChunk, work);
    if (filled == 0 || scanner.Halted()) return TWCC_BUMMER;
    // The first chunk is already in the working block: the header goes out
    // from a buffer of its own.
    std::uint8_t header[kTiffHeaderSize];
    FillTiffHeader(header, bytesPerLine, pixelsPerLine, lines, bitsPerPixel, resolution, resolution, inverted);
    if (!file.Write(header, TiffHeaderSize())) return TWCC_BUMMER;
    // The strip holds what the header announces and no more: a scanner that
    // goes on sending past it is not read further.
    std::uint64_t written = 0;
    bool end = filled > stripBytes;
    do {
        while (!end && filled + kTiffChunk <= kTiffChunk * kTiffChunksPerWrite) {
            const std::uint32_t n = scanner.ReadData(kTiffChunk, work + filled);
            if (scanner.Halted()) return TWCC_BUMMER;
            filled += n;
            end = n == 0 || written + filled > stripBytes;
            const std::uint64_t read = std::min<std::uint64_t>(written + filled, stripBytes);
            if (bytesPerLine > 0 && session.AdvanceProgress(static_cast<std::uint32_t>(read / bytesPerLine))) {
                return kTransferCancelled;
            }
        }
        const std::uint64_t keep = std::min<std::uint64_t>(filled, stripBytes - written);
        if (keep > 0 && !file.Write(work, static_cast<std::size_t>(keep))) return TWCC_BUMMER;
        written += keep;
        filled = 0;
    } while (!end);
    if (written < stripBytes) return session.ScanIncomplete();
    return file.EndHere() ? TWCC_SUCCESS : TWCC_BUMMER;
}

// The BITMAPINFOHEADER and colour table that begin the scan's DIB, in a
// native transfer and in a BMP file alike.
void FillDibPrefix(std::uint8_t* at, const ImageTypeEntry& type, std::int32_t pixels, std::uint32_t lines,
                   std::uint32_t resolution, bool inverted) {
    // The scanner takes both axes at the X resolution.
    FillDibHeader(at, pixels, static_cast<std::int32_t>(lines), type.bitsPerPixel, 0, resolution);
    // An inverted scan's levels run from white: so does its colour table.
    FillGreyColorTable(type.paletteEntries, at + kDibHeaderSize, inverted);
}

// A turned scan as a BMP file: the file header and DIB prefix of the
// turned image, then its rows bottom-up.
int WriteTurnedBmp(ScanSession& session, platform::File& file, const ImageTypeEntry& type, std::uint32_t resolution,
                   bool inverted) {
    if (type.bitsPerPixel == 24) SessionDevice::Of(session).LoadColourMatrix(false);
    const std::uint32_t width = session.ImageWidth();
    const std::uint32_t lines = session.ImageLength();
    const std::uint64_t stride = RowStride(DibRowBytes(static_cast<std::int32_t>(width), type.bitsPerPixel));
    const std::uint64_t sizeImage = stride * lines;
    std::uint8_t head[kBmpFileHeaderSize + kDibHeaderSize + 256 * kColorTableEntrySize];
    if (type.paletteEntries > 256 || !FillBmpFileHeader(head, sizeImage, type.paletteEntries)) return TWCC_BUMMER;
    FillDibPrefix(head + kBmpFileHeaderSize, type, static_cast<std::int32_t>(width), lines, resolution, inverted);
    const std::uint64_t offBits =
        kBmpFileHeaderSize + kDibHeaderSize + std::uint64_t(type.paletteEntries) * kColorTableEntrySize;

    session.BeginProgress(lines);
    HeldPage page;
    const int read = ReadTurnedPage(session, page, lines);
    if (read != TWCC_SUCCESS) return read;
    if (!file.Write(head, static_cast<std::size_t>(offBits))) return TWCC_BUMMER;
    const int written = WriteHeldRows(page, file, static_cast<std::size_t>(stride), true);
    if (written != TWCC_SUCCESS) return written;
    return file.EndHere() ? TWCC_SUCCESS : TWCC_BUMMER;
}

// A BMP file holding exactly what the native transfer's DIB would hold,
// after the 14-byte file header: the scanner is asked the same questions
// and read in the same calls. The rows are read bottom-up into the working
// block a batch of whole reads at a time; each batch is the run of rows
// just above the batch read before it, so it is written once, in place.
// A scan whose first batch brings no line fails before a byte is written
// to the new, empty `file`; a jam or a scan that ends early fails the file
// at once.
int WriteBmpRows(ScanSession& session, platform::File& file, const ImageTypeEntry& type, std::uint32_t resolution,
                 bool inverted) {
    ScannerDevice& scanner = SessionDevice::Of(session);
    if (session.ScanQuarterTurns() != 0) return WriteTurnedBmp(session, file, type, resolution, inverted);
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::int32_t pixels = static_cast<std::int32_t>(NonNegative(scanner.GetPixelsPerLine()));
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(false);

    const std::uint64_t stride = RowStride(bytesPerLine);
    const std::uint64_t sizeImage = std::uint64_t(RowStride(DibRowBytes(pixels, type.bitsPerPixel))) * lines;
    const std::uint64_t prefix = kDibHeaderSize + std::uint64_t(type.paletteEntries) * kColorTableEntrySize;
    std::uint8_t head[kBmpFileHeaderSize + kDibHeaderSize + 256 * kColorTableEntrySize];
    if (type.paletteEntries > 256 || !FillBmpFileHeader(head, sizeImage, type.paletteEntries)) return TWCC_BUMMER;
    FillDibPrefix(head + kBmpFileHeaderSize, type, pixels, lines, resolution, inverted);
    const std::uint64_t offBits = kBmpFileHeaderSize + prefix;

    const std::uint64_t perRead = ScannerDevice::LinesPerRead(static_cast<int>(bytesPerLine));
    const std::uint64_t readsPerBatch =
        stride == 0 ? 0 : std::max<std::uint64_t>(1, kBmpRowsBytes / (stride * perRead));
    const std::uint64_t perBatch = std::min<std::uint64_t>(readsPerBatch * perRead, lines);
    if (perBatch == 0) return TWCC_BUMMER;  // no line to read
    const std::uint64_t workBytes = std::max<std::uint64_t>(perBatch * stride, 1 << 16);
    WorkingBlock work(workBytes);
    std::uint8_t* rows = work.bytes();
    if (rows == nullptr) return TWCC_LOWMEMORY;
    const std::uint64_t perPiece = ProgressPieceLines(bytesPerLine);

    session.BeginProgress(lines);
    // Rows top-down `done` to done + n - 1 are rows lines - done - n up to
    // lines - done - 1 of the DIB; the file holds its first sizeImage bytes.
    for (std::uint64_t done = 0; done < lines;) {
        const std::uint64_t n = std::min<std::uint64_t>(perBatch, lines - done);
        // The batch is read in pieces, the progress told between them: its
        // lines k to k + m - 1 are its rows n - k - m up to n - k - 1.
        std::uint64_t placed = 0;
        for (std::uint64_t k = 0; k < n;) {
            const std::uint64_t m = std::min<std::uint64_t>(perPiece, n - k);
            placed += scanner.ReadImageToDIB(static_cast<int>(bytesPerLine), static_cast<int>(m),
                                             rows + (n - k - m) * stride, static_cast<std::size_t>(m * stride), true);
            // Rows never read are no rows: the application hears of the memory.
            if (scanner.TakeReadLackedMemory()) return TWCC_LOWMEMORY;
            if (scanner.Halted()) return TWCC_BUMMER;
            k += m;
            if (session.AdvanceProgress(static_cast<std::uint32_t>(done + k))) return kTransferCancelled;
        }
        if (done == 0 && placed == 0) return TWCC_BUMMER;
        if (placed < n * stride) return session.ScanIncomplete();
        if (done == 0 && !file.Write(head, static_cast<std::size_t>(offBits))) return TWCC_BUMMER;
        const std::uint64_t at = (lines - done - n) * stride;
        if (at < sizeImage) {
            const std::uint64_t length = std::min(n * stride, sizeImage - at);
            if (!file.Seek(offBits + at) || !file.Write(rows, static_cast<std::size_t>(length))) return TWCC_BUMMER;
        }
        done += n;
    }
    // Rows the header announces beyond those the scanner's lines fill.
    std::memset(rows, 0, static_cast<std::size_t>(workBytes));
    for (std::uint64_t at = stride * lines; at < sizeImage;) {
        const std::uint64_t length = std::min(workBytes, sizeImage - at);
        if (!file.Seek(offBits + at) || !file.Write(rows, static_cast<std::size_t>(length))) return TWCC_BUMMER;
        at += length;
    }
    if (!file.Seek(offBits + sizeImage) || !file.EndHere()) return TWCC_BUMMER;
    return TWCC_SUCCESS;
}

}  // namespace

// The block is not cleared beforehand, which would touch every page of it
// once more: the reader writes every byte of its rows (zeros for what the
// scanner does not deliver, and the padding), and the rows' space beyond
// them is zeroed here, so nothing comes out as whatever the memory held.
// The block is never smaller than the rows its header announces, even when
// the scanner's bytes per line and its pixels per line disagree. A scanner
// that sends no line at all gives no image.
platform::GlobalHandle ScanSession::ReadNativeImage(int* failure) {
    int ignored = 0;
    int& reason = failure != nullptr ? *failure : ignored;
    if (setup_.quarterTurns != 0) return ReadTurnedNativeImage(reason);
    const ImageTypeEntry& type = ScanType();
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::int32_t pixels = static_cast<std::int32_t>(NonNegative(scanner.GetPixelsPerLine()));
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(false);

    const std::uint64_t stride = RowStride(bytesPerLine);
    const std::uint64_t headerStride = RowStride(DibRowBytes(pixels, type.bitsPerPixel));
    const std::uint64_t prefix = kDibHeaderSize + std::uint64_t(type.paletteEntries) * kColorTableEntrySize;
    const std::uint64_t rowBytes = std::max(stride, headerStride) * lines;
    reason = TWCC_LOWMEMORY;
    if (prefix + rowBytes > SIZE_MAX) return nullptr;

    // The application's block, made so that it can free it with its manager.
    platform::GlobalHandle dib = application_memory::Allocate(static_cast<std::size_t>(prefix + rowBytes));
    std::uint64_t placed = 0;
    bool lacked = false;
    {
        application_memory::LockedBlock block(dib);
        if (!block) {
            application_memory::Free(dib);
            return nullptr;
        }
        FillDibPrefix(block.bytes(), type, pixels, lines, ScanResolution(), ScanInverted());
        BeginProgress(lines);
        if (!showing_) {
            placed = scanner.ReadImageToDIB(static_cast<int>(bytesPerLine), static_cast<int>(lines),
                                            block.bytes() + prefix, static_cast<std::size_t>(rowBytes), true);
            lacked = scanner.TakeReadLackedMemory();
        } else {
            // In pieces, with the progress told between them: rows top-down
            // `done` to done + n - 1 are rows lines - done - n up to
            // lines - done - 1 of the bottom-up DIB.
            const std::uint64_t perPiece = ProgressPieceLines(bytesPerLine);
            for (std::uint64_t done = 0; done < lines;) {
                const std::uint64_t n = std::min<std::uint64_t>(perPiece, lines - done);
                placed += scanner.ReadImageToDIB(static_cast<int>(bytesPerLine), static_cast<int>(n),
                                                 block.bytes() + prefix + (lines - done - n) * stride,
                                                 static_cast<std::size_t>(n * stride), true);
                lacked = scanner.TakeReadLackedMemory();
                done += n;
                if (lacked || scanner.Halted()) break;
                if (AdvanceProgress(static_cast<std::uint32_t>(done))) break;
            }
            EndProgress();
        }
        const std::uint64_t read = stride * lines;
        std::memset(block.bytes() + prefix + read, 0, static_cast<std::size_t>(rowBytes - read));
    }
    if (cancelled_) {
        application_memory::Free(dib);
        reason = kTransferCancelled;
        return nullptr;
    }
    // An image never read is no image: the application hears of the
    // memory, not of a blank page.
    if (lacked) {
        application_memory::Free(dib);
        return nullptr;
    }
    if (placed == 0 || scanner.Halted()) {
        application_memory::Free(dib);
        reason = TWCC_BUMMER;
        return nullptr;
    }
    if (placed < stride * lines) {
        application_memory::Free(dib);
        reason = ScanIncomplete();
        return nullptr;
    }
    reason = TWCC_SUCCESS;
    return dib;
}

// The page is read whole and turned straight into the application's block,
// its rows bottom-up as a DIB holds them; the padding is written too.
platform::GlobalHandle ScanSession::ReadTurnedNativeImage(int& reason) {
    const ImageTypeEntry& type = ScanType();
    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(false);
    const std::uint32_t width = ImageWidth();
    const std::uint32_t lines = ImageLength();
    BeginProgress(lines);
    HeldPage page;
    reason = ReadWholePage(*this, page, lines);
    EndProgress();
    if (cancelled_) reason = kTransferCancelled;
    if (reason != TWCC_SUCCESS) return nullptr;

    const std::uint64_t stride = RowStride(DibRowBytes(static_cast<std::int32_t>(width), type.bitsPerPixel));
    const std::uint64_t prefix = kDibHeaderSize + std::uint64_t(type.paletteEntries) * kColorTableEntrySize;
    reason = TWCC_LOWMEMORY;
    if (prefix + stride * lines > SIZE_MAX) return nullptr;
    platform::GlobalHandle dib = application_memory::Allocate(static_cast<std::size_t>(prefix + stride * lines));
    {
        application_memory::LockedBlock block(dib);
        if (!block) {
            application_memory::Free(dib);
            return nullptr;
        }
        FillDibPrefix(block.bytes(), type, static_cast<std::int32_t>(width), lines, ScanResolution(), ScanInverted());
        std::uint8_t* lastRow = block.bytes() + prefix + (lines > 0 ? (lines - 1) * stride : 0);
        if (!TurnImage(page.Row(0), static_cast<std::ptrdiff_t>(page.stride()), page.width(), page.lines(),
                       type.bitsPerPixel, setup_.quarterTurns, lastRow, -static_cast<std::ptrdiff_t>(stride))) {
            reason = TWCC_BUMMER;
        } else {
            reason = TWCC_SUCCESS;
        }
    }
    if (reason != TWCC_SUCCESS) {
        application_memory::Free(dib);
        return nullptr;
    }
    return dib;
}

std::uint32_t ScanSession::ImageWidth() {
    return NonNegative(setup_.quarterTurns % 2 == 0 ? scanner.GetPixelsPerLine() : scanner.GetLineCount());
}

std::uint32_t ScanSession::ImageLength() {
    return NonNegative(setup_.quarterTurns % 2 == 0 ? scanner.GetLineCount() : scanner.GetPixelsPerLine());
}

std::uint32_t ScanSession::ImageBytesPerLine() {
    if (setup_.quarterTurns == 0) return NonNegative(scanner.GetBytesPerLine());
    return static_cast<std::uint32_t>(PackedRowBytes(ImageWidth(), setup_.bitsPerPixel));
}

int ScanSession::PrepareMemoryStrips() {
    if (setup_.quarterTurns == 0 || turnedPage_.Held()) return TWCC_SUCCESS;
    stripRow_ = 0;
    const int read = ReadTurnedPage(*this, turnedPage_, ImageLength());
    if (cancelled_) return kTransferCancelled;
    return read;
}

// The line length is asked for the row count and again for the read; until
// the first read of a scan both questions go to the scanner. A turned page
// hands out whole rows of the page PrepareMemoryStrips turned.
std::uint32_t ScanSession::ReadMemoryStrip(void* buffer, std::uint32_t length) {
    if (setup_.quarterTurns != 0) {
        const std::size_t stride = turnedPage_.stride();
        if (!turnedPage_.Held() || stride == 0 || length < stride) return 0;
        const std::uint32_t rows = turnedPage_.CopyRows(stripRow_, static_cast<std::uint32_t>(length / stride),
                                                         static_cast<std::uint8_t*>(buffer), length, stride, false);
        stripRow_ += rows;
        // The last row handed out lets the page go.
        if (stripRow_ >= turnedPage_.lines()) turnedPage_.Release();
        return static_cast<std::uint32_t>(rows * stride);
    }
    const std::uint32_t stride = RowStride(NonNegative(scanner.GetBytesPerLine()));
    if (stride == 0) return 0;
    const std::uint32_t rows = length / stride;
    if (rows == 0) return 0;
    return scanner.ReadImageToDIB(scanner.GetBytesPerLine(), static_cast<int>(rows), buffer, length, false);
}

// The source's own writers, BMP and uncompressed TIFF, into the new, empty
// `file` beside the name (WriteImageFile, coded_transfers.cpp, moves it over
// the name when whole). Returns a condition code: 0 written, TWCC_BUMMER when
// the file cannot be written, the scanner sent nothing or stopped early,
// TWCC_LOWMEMORY when the image or the working block cannot be had; or
// kTransferCancelled.
//
// Until the move a file of that name keeps what it held, and a failed
// transfer leaves no file behind. Only the part file this transfer made is
// ever removed: another transfer into the same folder has a part file of its
// own.
int ScanSession::WriteNewImageFile(platform::File& file, std::uint16_t format) {
    const ImageTypeEntry& type = ScanType();
    if (format != TWFF_TIFF) return WriteBmpRows(*this, file, type, ScanResolution(), ScanInverted());

    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(true);
    if (setup_.quarterTurns != 0) {
        return WriteTurnedTiff(*this, file, type.bitsPerPixel, ScanResolution(), ScanInverted());
    }
    WorkingBlock work(kTiffChunk * kTiffChunksPerWrite);
    if (work.bytes() == nullptr) return TWCC_LOWMEMORY;
    return WriteTiffFile(*this, file, work.bytes(), type.bitsPerPixel, ScanResolution(), ScanInverted());
}

int ScanSession::ScanIncomplete() {
    if (!scanner.Halted()) ShowErrorMessage(IDS_SCAN_INCOMPLETE);
    return TWCC_BUMMER;
}

PartFile::~PartFile() {
    // Also when the transfer ended in an exception (memory ran out).
    if (name_.empty()) return;
    file_.Close();
    platform::DeleteFileByName(name_.c_str());
}

bool PartFile::Create(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0' || !name_.empty()) return false;
    // The name must take a file: a new one (made and removed again), or an
    // existing file that may be written (opened, neither emptied nor changed).
    {
        platform::File named;
        if (named.Open(fileName, platform::FileMode::CreateNew)) {
            named.Close();
            platform::DeleteFileByName(fileName);
        } else if (!named.Open(fileName, platform::FileMode::ReadWrite)) {
            return false;
        }
    }
    // Beside the file, so that moving it over the name is one step. A name
    // is taken by creating its file, which fails for a name in use (another
    // transfer's, or one left by a transfer that never finished): the file
    // made is this transfer's alone from that moment.
    const std::string name = fileName;
    const std::size_t slash = name.find_last_of("\\/:");
    const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string part = folder + "~vorel-transfer" + std::to_string(attempt) + ".part";
        if (file_.Open(part.c_str(), platform::FileMode::CreateNew)) {
            name_.swap(part);
            return true;
        }
    }
    return false;
}

bool PartFile::MoveOver(const char* fileName) {
    file_.Close();
    if (name_.empty() || !platform::ReplaceFileByName(name_.c_str(), fileName)) return false;
    name_.clear();
    return true;
}

bool CanWriteTransferFile(const char* fileName) {
    PartFile part;
    return part.Create(fileName);
}
