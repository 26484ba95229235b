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

// The TIFF header, then exactly the bytes the scanner sends up to its end,
// through the one working block of kTiffChunk bytes.
int WriteTiffFile(ScannerDevice& scanner, const char* fileName, void* work, std::uint32_t bitsPerPixel,
                  std::uint32_t xResolution, std::uint32_t yResolution) {
    // Asked one after the other, so the scanner hears the questions in the
    // same order on every compiler.
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::uint32_t pixelsPerLine = NonNegative(scanner.GetPixelsPerLine());
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    FillTiffHeader(work, bytesPerLine, pixelsPerLine, lines, bitsPerPixel, xResolution, yResolution);
    platform::File file;
    if (!file.Open(fileName, platform::FileMode::ReadWrite)) return TWCC_BUMMER;
    if (!file.Write(work, TiffHeaderSize())) return TWCC_BUMMER;
    for (;;) {
        const std::uint32_t n = scanner.ReadData(kTiffChunk, work);
        if (n == 0) return file.EndHere() ? TWCC_SUCCESS : TWCC_BUMMER;
        if (!file.Write(work, n)) return TWCC_BUMMER;
    }
}

}  // namespace

// The block is not cleared beforehand, which would touch every page of it
// once more: the reader writes every byte of its rows (zeros for what the
// scanner does not deliver, and the padding), and the rows' space beyond
// them is zeroed here, so nothing comes out as whatever the memory held.
// The block is never smaller than the rows its header announces, even when
// the scanner's bytes per line and its pixels per line disagree.
platform::GlobalHandle SourceDialog::ReadNativeImage() {
    const ImageTypeEntry& type = ImageTypeTable[GetImageTypeIndex()];
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::int32_t pixels = static_cast<std::int32_t>(NonNegative(scanner.GetPixelsPerLine()));
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(false);

    const std::uint64_t stride = RowStride(bytesPerLine);
    const std::uint64_t headerStride = RowStride(DibRowBytes(pixels, type.bitsPerPixel));
    const std::uint64_t prefix = kDibHeaderSize + std::uint64_t(type.paletteEntries) * kColorTableEntrySize;
    const std::uint64_t rowBytes = std::max(stride, headerStride) * lines;
    if (prefix + rowBytes > SIZE_MAX) return nullptr;

    platform::GlobalHandle dib =
        platform::GlobalAllocate(platform::kGmemShareable, prefix + rowBytes);
    {
        platform::LockedBlock block(dib);
        if (!block) {
            platform::GlobalFreeBlock(dib);
            return nullptr;
        }
        FillDibHeader(block.get(), pixels, static_cast<std::int32_t>(lines), type.bitsPerPixel, 0);
        FillGreyColorTable(type.paletteEntries, block.bytes() + kDibHeaderSize);
        scanner.ReadImageToDIB(static_cast<int>(bytesPerLine), static_cast<int>(lines), block.bytes() + prefix,
                               static_cast<std::size_t>(rowBytes), true);
        const std::uint64_t read = stride * lines;
        std::memset(block.bytes() + prefix + read, 0, static_cast<std::size_t>(rowBytes - read));
    }
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
// opened or written (or no name was set), TWCC_LOWMEMORY when the image or
// the working block cannot be had.
int SourceDialog::WriteImageFile(const char* fileName, std::uint16_t format) {
    if (fileName == nullptr || fileName[0] == '\0') return TWCC_BUMMER;
    const ImageTypeEntry& type = ImageTypeTable[GetImageTypeIndex()];

    if (format != TWFF_TIFF) {
        platform::GlobalHandle dib = ReadNativeImage();
        if (dib == nullptr) return TWCC_LOWMEMORY;
        const int result = WriteBmpFile(fileName, dib, type.paletteEntries);
        platform::GlobalFreeBlock(dib);
        return result == 0 ? TWCC_SUCCESS : TWCC_BUMMER;
    }

    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(true);
    platform::GlobalHandle work = platform::GlobalAllocate(platform::kGmemMoveable, kTiffChunk);
    int result = TWCC_LOWMEMORY;
    {
        platform::LockedBlock block(work);
        if (block) result = WriteTiffFile(scanner, fileName, block.get(), type.bitsPerPixel, xResolution, yResolution);
    }
    platform::GlobalFreeBlock(work);
    return result;
}

