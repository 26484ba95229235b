// The DIB header, colour table and palette writers. Header fields go out
// one at a time through the little-endian writer so that the packed DIB in
// memory has the same bytes on every build.
#include "imaging/dib_format.h"

#include <cassert>

#include "imaging/little_endian_writer.h"

namespace {

constexpr std::int32_t kPelsPerMeter300Dpi = 11811;  // 300 x 39.37
constexpr std::int32_t kPelsPerMeter150Dpi = 5905;   // 150 x 39.37, truncated
constexpr std::uint32_t kBiRgb = 0;

}  // namespace

std::uint32_t DibRowBytes(std::int32_t width, std::uint32_t bitsPerPixel) {
    if (width <= 0) return 0;
    const std::uint32_t w = static_cast<std::uint32_t>(width);
    switch (bitsPerPixel) {
        case 1: return (w + 7) / 8;
        case 8: return w;
        case 24: return 3 * w;
        default: return 0;
    }
}

void FillDibHeader(void* header, std::int32_t width, std::int32_t lines, std::uint32_t bitsPerPixel,
                   int rowOrder, std::uint32_t dpi) {
    const std::uint32_t stride = RowStride(DibRowBytes(width, bitsPerPixel));
    const std::uint32_t sizeImage = lines > 0 ? stride * static_cast<std::uint32_t>(lines) : 0;
    std::int32_t pelsPerMeter = bitsPerPixel == 1 ? kPelsPerMeter300Dpi : kPelsPerMeter150Dpi;
    if (dpi != 0) pelsPerMeter = static_cast<std::int32_t>(std::uint64_t(dpi) * 3937 / 100);

    LittleEndianWriter w(header);
    w.u32(kDibHeaderSize);                       // biSize
    w.i32(width);                                // biWidth
    w.i32(rowOrder == 1 ? -lines : lines);       // biHeight: negative for top-down rows
    w.u16(1);                                    // biPlanes
    w.u16(bitsPerPixel & 0xFF);                  // biBitCount
    w.u32(kBiRgb);                               // biCompression
    w.u32(sizeImage);                            // biSizeImage
    w.i32(pelsPerMeter);                         // biXPelsPerMeter
    w.i32(pelsPerMeter);                         // biYPelsPerMeter
    w.u32(0);                                    // biClrUsed
    w.u32(0);                                    // biClrImportant
    assert(w.written() == kDibHeaderSize);
}

DibHeader ReadDibHeader(const void* header) {
    DibHeader h;
    h.size = ReadU32(header, 0);
    h.width = static_cast<std::int32_t>(ReadU32(header, 4));
    h.height = static_cast<std::int32_t>(ReadU32(header, 8));
    h.planes = static_cast<std::uint16_t>(ReadU16(header, 12));
    h.bitCount = static_cast<std::uint16_t>(ReadU16(header, 14));
    h.compression = ReadU32(header, 16);
    h.sizeImage = ReadU32(header, 20);
    h.xPelsPerMeter = static_cast<std::int32_t>(ReadU32(header, 24));
    h.yPelsPerMeter = static_cast<std::int32_t>(ReadU32(header, 28));
    h.clrUsed = ReadU32(header, 32);
    h.clrImportant = ReadU32(header, 36);
    return h;
}

void FillGreyColorTable(std::uint32_t count, void* table, bool whiteFirst) {
    if (count < 2) return;
    LittleEndianWriter w(table);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t level = whiteFirst ? count - 1 - i : i;
        const std::uint32_t grey = static_cast<std::uint32_t>(std::uint64_t(level) * 255 / (count - 1));
        w.u8(grey);  // rgbBlue
        w.u8(grey);  // rgbGreen
        w.u8(grey);  // rgbRed
        w.u8(0);     // rgbReserved
    }
}

void FillPaletteEntries(std::uint32_t count, PaletteEntry* entries) {
    if (entries == nullptr) return;
    if (count > 2) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto grey = static_cast<std::uint8_t>(i);
            entries[i] = PaletteEntry{grey, grey, grey, 0};
        }
        return;
    }
    // The 1-bit palette lists white first; a palette of fewer than two
    // entries only gets the ones it has room for.
    if (count >= 1) entries[0] = PaletteEntry{255, 255, 255, 0};
    if (count >= 2) entries[1] = PaletteEntry{0, 0, 0, 0};
}
