// Row conversions shared by the writers.
#include "imaging/codecs/row_levels.h"

#include <cstring>

std::size_t PackedRowBytes(const PageFormat& page) {
    return (std::size_t(page.width) * page.bitsPerPixel + 7) / 8;
}

void CopyRowLevels(const PageFormat& page, const std::uint8_t* in, std::uint8_t* out, bool wantWhiteIsZero) {
    const std::size_t bytes = PackedRowBytes(page);
    if (page.bitsPerPixel == 24 || page.whiteIsZero == wantWhiteIsZero) {
        std::memcpy(out, in, bytes);
        return;
    }
    for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(~in[i]);
}

void WidenBitsToGrey(const PageFormat& page, const std::uint8_t* in, std::uint8_t* out) {
    // A set bit is white unless the scan's white is zero.
    const std::uint8_t set = page.whiteIsZero ? 0 : 255;
    for (std::uint32_t x = 0; x < page.width; ++x) {
        const bool bit = (in[x >> 3] >> (7 - (x & 7))) & 1;
        out[x] = bit ? set : static_cast<std::uint8_t>(255 - set);
    }
}
