// The dialog's three readers behind the transfer triplets: the native DIB,
// the memory strip and the BMP or TIFF file. The scan is read from the
// scanner while it is handed over: the final scan's set-up only prepared it.
//
// 24-bit rows are blue, green, red in a DIB and a BMP file, red, green,
// blue in memory strips and TIFF files. The scanner's colour matrix chooses
// the order before a read; pixels are never converted here.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/bmp_file.h"
#include "imaging/dib_format.h"
#include "imaging/tiff_header.h"
#include "platform/file.h"
#include "platform/global_memory.h"
#include "twain/twain.h"
#include "ui/image_types.h"
#include "ui/source_dialog.h"

namespace {

constexpr std::uint32_t kTiffChunk = 60000;

// The scanner answers 16-bit signed values; a failed or nonsensical answer
// counts as nothing to read.
std::uint32_t NonNegative(int value) { return value > 0 ? static_cast<std::uint32_t>(value) : 0; }

// The TIFF header, then the bytes the scanner sends up to its end, through
// the one working block of kTiffChunk bytes. A scan that stops early is
// padded with zeros to the strip size the header announces, so readers get
// a whole image; a scan that sends nothing at all fails before the file is
// touched.
int WriteTiffFile(ScannerDevice& scanner, const char* fileName, std::uint8_t* work, std::uint32_t bitsPerPixel,
                  std::uint32_t resolution, bool inverted) {
    // Asked one after the other, so the scanner hears the questions in the
    // same order on every compiler.
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::uint32_t pixelsPerLine = NonNegative(scanner.GetPixelsPerLine());
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    const std::uint64_t stripBytes = std::uint64_t(bytesPerLine) * lines;
    platform::File file;
    if (!file.Open(fileName, platform::FileMode::ReadWrite)) return TWCC_BUMMER;

    std::uint32_t n = scanner.ReadData(kTiffChunk, work);
    if (n == 0 || scanner.Jammed()) return TWCC_BUMMER;
    // The first chunk is already in the working block: the header goes out
    // from a buffer of its own.
    std::uint8_t header[kTiffHeaderSize];
    FillTiffHeader(header, bytesPerLine, pixelsPerLine, lines, bitsPerPixel, resolution, resolution, inverted);
    if (!file.Write(header, TiffHeaderSize())) return TWCC_BUMMER;
    std::uint64_t written = 0;
    while (n > 0) {
        if (!file.Write(work, n)) return TWCC_BUMMER;
        written += n;
        n = scanner.ReadData(kTiffChunk, work);
        if (scanner.Jammed()) return TWCC_BUMMER;
    }
    if (written < stripBytes) {
        std::memset(work, 0, kTiffChunk);
        for (std::uint64_t left = stripBytes - written; left > 0;) {
            const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kTiffChunk));
            if (!file.Write(work, piece)) return TWCC_BUMMER;
            left -= piece;
        }
    }
    return file.EndHere() ? TWCC_SUCCESS : TWCC_BUMMER;
}

}  // namespace

// The block is zero-filled, so rows the scanner does not deliver come out
// black rather than as whatever the memory held. It is also never smaller
// than the rows its header announces, even when the scanner's bytes per
// line and its pixels per line disagree. A scanner that sends no line at
// all gives no image.
platform::GlobalHandle SourceDialog::ReadNativeImage(int* failure) {
    int ignored = 0;
    int& reason = failure != nullptr ? *failure : ignored;
    const ImageTypeEntry& type = ImageTypeTable[GetImageTypeIndex()];
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

    platform::GlobalHandle dib =
        platform::GlobalAllocate(platform::kGmemShareable | platform::kGmemZeroInit, prefix + rowBytes);
    std::uint32_t placed = 0;
    {
        platform::LockedBlock block(dib);
        if (!block) {
            platform::GlobalFreeBlock(dib);
            return nullptr;
        }
        // The scanner takes both axes at the X resolution.
        FillDibHeader(block.get(), pixels, static_cast<std::int32_t>(lines), type.bitsPerPixel, 0, xResolution);
        // An inverted scan's levels run from white: so does its colour table.
        FillGreyColorTable(type.paletteEntries, block.bytes() + kDibHeaderSize, scanInverted);
        placed = scanner.ReadImageToDIB(static_cast<int>(bytesPerLine), static_cast<int>(lines),
                                        block.bytes() + prefix, static_cast<std::size_t>(rowBytes), true);
    }
    if (placed == 0 || scanner.Jammed()) {
        platform::GlobalFreeBlock(dib);
        reason = TWCC_BUMMER;
        return nullptr;
    }
    reason = TWCC_SUCCESS;
    return dib;
}

// The line length is asked for the row count and again for the read; until
// the first read of a scan both questions go to the scanner.
std::uint32_t SourceDialog::ReadMemoryStrip(void* buffer, std::uint32_t length) {
    const std::uint32_t stride = RowStride(NonNegative(scanner.GetBytesPerLine()));
    if (stride == 0) return 0;
    const std::uint32_t rows = length / stride;
    if (rows == 0) return 0;
    return scanner.ReadImageToDIB(scanner.GetBytesPerLine(), static_cast<int>(rows), buffer, length, false);
}

// Returns a condition code: 0 written, TWCC_BUMMER when the file cannot be
// opened or written (or no name was set) or the scanner sent nothing,
// TWCC_LOWMEMORY when the image or the working block cannot be had.
int SourceDialog::WriteImageFile(const char* fileName, std::uint16_t format) {
    if (fileName == nullptr || fileName[0] == '\0') return TWCC_BUMMER;
    const ImageTypeEntry& type = ImageTypeTable[GetImageTypeIndex()];

    if (format != TWFF_TIFF) {
        int failure = TWCC_SUCCESS;
        platform::GlobalHandle dib = ReadNativeImage(&failure);
        if (dib == nullptr) return failure;
        const int result = WriteBmpFile(fileName, dib, type.paletteEntries);
        platform::GlobalFreeBlock(dib);
        return result == 0 ? TWCC_SUCCESS : TWCC_BUMMER;
    }

    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(true);
    platform::GlobalHandle work = platform::GlobalAllocate(platform::kGmemMoveable, kTiffChunk);
    int result = TWCC_LOWMEMORY;
    {
        platform::LockedBlock block(work);
        if (block) result = WriteTiffFile(scanner, fileName, block.bytes(), type.bitsPerPixel, xResolution, scanInverted);
    }
    platform::GlobalFreeBlock(work);
    return result;
}

