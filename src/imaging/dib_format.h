// The device-independent bitmap as the source builds it: the 40-byte
// BITMAPINFOHEADER, the grey colour table that follows it in a packed DIB,
// the grey logical palette the preview is shown with, and the row stride
// every DIB row and memory-strip row is padded to. Free functions without
// state; callers size the buffers.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kDibHeaderSize = 40;       // BITMAPINFOHEADER
constexpr std::size_t kColorTableEntrySize = 4;  // RGBQUAD: blue, green, red, 0

// A row's byte count rounded up to a multiple of 4.
constexpr std::uint32_t RowStride(std::uint32_t rowBytes) { return (rowBytes + 3) & ~std::uint32_t(3); }

// The unpadded byte count of one row of `width` pixels: (width + 7) / 8 for
// 1 bit per pixel, width for 8, 3 x width for 24, and 0 for any other depth
// or a width of 0 or less.
std::uint32_t DibRowBytes(std::int32_t width, std::uint32_t bitsPerPixel);

// Writes a BITMAPINFOHEADER (40 bytes, little-endian) at `header`. Row
// order 1 is top-down (negative height); anything else is bottom-up. The
// pixels per metre are those of `dpi` (x 39.37, truncated); a dpi of 0, the
// preview's, records 300 dpi for 1 bit per pixel and 150 dpi otherwise.
void FillDibHeader(void* header, std::int32_t width, std::int32_t lines, std::uint32_t bitsPerPixel,
                   int rowOrder, std::uint32_t dpi = 0);

// The fields of a BITMAPINFOHEADER read back from its 40 bytes.
struct DibHeader {
    std::uint32_t size;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::uint32_t sizeImage;
    std::int32_t xPelsPerMeter;
    std::int32_t yPelsPerMeter;
    std::uint32_t clrUsed;
    std::uint32_t clrImportant;
};
DibHeader ReadDibHeader(const void* header);

// A grey ramp of `count` colour-table entries (4 bytes each) from black to
// white, or from white to black when `whiteFirst` (the levels of an
// inverted scan); fewer than 2 entries write nothing.
void FillGreyColorTable(std::uint32_t count, void* table, bool whiteFirst = false);

// One entry of a logical palette, in the order of the system's palette
// entry; the window side copies these into its own palette.
struct PaletteEntry {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t flags;
};
static_assert(sizeof(PaletteEntry) == 4, "PaletteEntry");

// More than 2 entries: entry i is the grey i. Up to 2 entries: white, then
// black (the reverse of the 1-bit colour table). Only `count` entries are
// ever written.
void FillPaletteEntries(std::uint32_t count, PaletteEntry* entries);
