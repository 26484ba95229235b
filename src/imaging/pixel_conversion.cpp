// The preview's pixel conversions, the same arithmetic as the scanner's.
#include "imaging/pixel_conversion.h"

#include <cstddef>
#include <cstring>

#include "imaging/dib_format.h"
#include "platform/global_memory.h"

namespace {

struct Identity {
    std::uint8_t levels[256];
    Identity() {
        for (int i = 0; i < 256; ++i) levels[i] = static_cast<std::uint8_t>(i);
    }
};

inline std::uint8_t Grey(const std::uint8_t* pixel, const std::uint8_t* levels) {
    return levels[GreyOf(pixel[0], pixel[1], pixel[2])];
}

void ConvertRowTo1Bit(std::uint8_t* out, const std::uint8_t* in, std::uint32_t width, const std::uint8_t* levels) {
    std::uint32_t x = 0;
    for (; x + 8 <= width; x += 8, in += 24) {
        std::uint32_t bits = 0;
        for (int k = 0; k < 8; ++k) bits = (bits << 1) | (Grey(in + 3 * k, levels) >= kWhiteFrom ? 1u : 0u);
        *out++ = static_cast<std::uint8_t>(bits);
    }
    if (x < width) {
        // The last byte holds the remaining pixels from its top bit down.
        std::uint32_t bits = 0;
        const std::uint32_t rest = width - x;
        for (std::uint32_t k = 0; k < rest; ++k) bits |= (Grey(in + 3 * k, levels) >= kWhiteFrom ? 0x80u : 0u) >> k;
        *out = static_cast<std::uint8_t>(bits);
    }
}

void ConvertRowTo8Bit(std::uint8_t* out, const std::uint8_t* in, std::uint32_t width, const std::uint8_t* levels) {
    for (std::uint32_t x = 0; x < width; ++x, in += 3) out[x] = Grey(in, levels);
}

void ConvertRowTo24Bit(std::uint8_t* out, const std::uint8_t* in, std::size_t bytes, const std::uint8_t* levels) {
    for (std::size_t i = 0; i < bytes; ++i) out[i] = levels[in[i]];
}

}  // namespace

void ConvertRows(std::uint32_t bitsPerPixel, void* destination, const void* source, std::int32_t width,
                 std::int32_t lines, const std::uint8_t* levels) {
    if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24) return;
    if (destination == nullptr || source == nullptr || width <= 0 || lines <= 0) return;
    static const Identity identity;
    if (levels == nullptr) levels = identity.levels;

    const std::uint32_t w = static_cast<std::uint32_t>(width);
    const std::size_t sourceRow = std::size_t(3) * w;
    const std::size_t stride = RowStride(DibRowBytes(width, bitsPerPixel));
    auto* out = static_cast<std::uint8_t*>(destination);
    const auto* in = static_cast<const std::uint8_t*>(source);

    for (std::int32_t i = 0; i < lines; ++i, out += stride, in += sourceRow) {
        switch (bitsPerPixel) {
            case 1: ConvertRowTo1Bit(out, in, w, levels); break;
            case 8: ConvertRowTo8Bit(out, in, w, levels); break;
            default: ConvertRowTo24Bit(out, in, sourceRow, levels); break;
        }
    }
}

bool ExpandGreyToTriples(std::uint8_t* buffer, std::int32_t pixelsPerLine, std::int32_t lines) {
    if (buffer == nullptr || pixelsPerLine <= 0 || lines <= 0) return false;
    const std::size_t n = std::size_t(pixelsPerLine) * std::size_t(lines);

    // The grey bytes are copied out first because the widened pixels
    // overwrite them; without the copy the buffer stays as it was.
    platform::GlobalHandle copyHandle = platform::GlobalAllocate(platform::kGmemMoveable | platform::kGmemZeroInit, n);
    if (copyHandle == nullptr) return false;
    bool expanded = false;
    {
        platform::LockedBlock copy(copyHandle);
        if (copy) {
            std::memcpy(copy.get(), buffer, n);
            const std::uint8_t* grey = copy.bytes();
            for (std::size_t i = 0; i < n; ++i) {
                buffer[3 * i] = grey[i];
                buffer[3 * i + 1] = grey[i];
                buffer[3 * i + 2] = grey[i];
            }
            expanded = true;
        }
    }
    platform::GlobalFreeBlock(copyHandle);
    return expanded;
}
