// Quarter turns of an image. A turn by 90 or 270 degrees reads the source
// down its columns, which touches a new cache line for every pixel; the
// image is therefore walked in square tiles small enough that the tile's
// source rows and target rows both stay in the first-level cache, so each
// line fetched is used whole before it leaves. 180 degrees reverses rows and
// reads them in order, needing no tiles.
#include "imaging/turn_image.h"

#include <algorithm>
#include <cstring>

namespace {

// Tile edge in pixels: 32 rows of 32 colour pixels are 3 KB each way.
constexpr std::uint32_t kTile = 32;

int Quarters(int quarterTurns) { return (quarterTurns % 4 + 4) % 4; }

// Where target pixel (x, y) comes from in the source, for a clockwise turn
// of `quarters` of a width x height source:
//   1: (y, height - 1 - x)   2: (width - 1 - x, height - 1 - y)   3: (width - 1 - y, x)
struct SourceOf {
    std::uint32_t width, height;
    int quarters;
    void At(std::uint32_t x, std::uint32_t y, std::uint32_t* sx, std::uint32_t* sy) const {
        switch (quarters) {
        case 1: *sx = y; *sy = height - 1 - x; break;
        case 2: *sx = width - 1 - x; *sy = height - 1 - y; break;
        case 3: *sx = width - 1 - y; *sy = x; break;
        default: *sx = x; *sy = y; break;
        }
    }
};

// Whole-byte pixels (8 or 24 bits) by 90 or 270 degrees, tile by tile: for
// each target row of the tile, the tile's pixels of one source column.
template <std::size_t kBytes>
void TurnBytesQuarter(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width,
                      std::uint32_t height, int quarters, std::uint8_t* target, std::ptrdiff_t targetStride) {
    // The target is height wide and width high.
    const std::uint32_t targetWidth = height, targetHeight = width;
    for (std::uint32_t ty = 0; ty < targetHeight; ty += kTile) {
        const std::uint32_t yEnd = std::min(ty + kTile, targetHeight);
        for (std::uint32_t tx = 0; tx < targetWidth; tx += kTile) {
            const std::uint32_t xEnd = std::min(tx + kTile, targetWidth);
            for (std::uint32_t y = ty; y < yEnd; ++y) {
                std::uint8_t* out = target + std::ptrdiff_t(y) * targetStride + std::size_t{tx} * kBytes;
                if (quarters == 1) {
                    // Target row y is source column y, read bottom to top.
                    const std::uint8_t* in = source + std::ptrdiff_t(height - 1 - tx) * sourceStride + std::size_t{y} * kBytes;
                    for (std::uint32_t x = tx; x < xEnd; ++x, out += kBytes, in -= sourceStride) {
                        std::memcpy(out, in, kBytes);
                    }
                } else {
                    // Target row y is source column width - 1 - y, top to bottom.
                    const std::uint8_t* in = source + std::ptrdiff_t(tx) * sourceStride + std::size_t{width - 1 - y} * kBytes;
                    for (std::uint32_t x = tx; x < xEnd; ++x, out += kBytes, in += sourceStride) {
                        std::memcpy(out, in, kBytes);
                    }
                }
            }
        }
    }
}

template <std::size_t kBytes>
void TurnBytesHalf(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width,
                   std::uint32_t height, std::uint8_t* target, std::ptrdiff_t targetStride) {
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = source + std::ptrdiff_t(height - 1 - y) * sourceStride + std::size_t{width} * kBytes;
        std::uint8_t* out = target + std::ptrdiff_t(y) * targetStride;
        for (std::uint32_t x = 0; x < width; ++x, out += kBytes) {
            in -= kBytes;
            std::memcpy(out, in, kBytes);
        }
    }
}

bool Bit(const std::uint8_t* row, std::uint32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// 1-bit pixels, any turn: each target byte gathered from its eight source
// pixels, tile by tile so that the source rows a tile reads stay cached.
void TurnBits(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
              int quarters, std::uint8_t* target, std::ptrdiff_t targetStride) {
    std::uint32_t targetWidth = 0, targetHeight = 0;
    TurnedSize(width, height, quarters, &targetWidth, &targetHeight);
    const SourceOf from{width, height, quarters};
    const std::uint32_t tileBits = kTile * 8;
    for (std::uint32_t ty = 0; ty < targetHeight; ty += kTile) {
        const std::uint32_t yEnd = std::min(ty + kTile, targetHeight);
        for (std::uint32_t tx = 0; tx < targetWidth; tx += tileBits) {
            const std::uint32_t xEnd = std::min(tx + tileBits, targetWidth);
            for (std::uint32_t y = ty; y < yEnd; ++y) {
                std::uint8_t* out = target + std::ptrdiff_t(y) * targetStride;
                for (std::uint32_t x = tx; x < xEnd; x += 8) {
                    std::uint8_t byte = 0;
                    const std::uint32_t last = std::min(x + 8, xEnd);
                    for (std::uint32_t bit = x; bit < last; ++bit) {
                        std::uint32_t sx = 0, sy = 0;
                        from.At(bit, y, &sx, &sy);
                        if (Bit(source + std::ptrdiff_t(sy) * sourceStride, sx)) byte |= 0x80 >> (bit - x);
                    }
                    out[x >> 3] = byte;
                }
            }
        }
    }
}

}  // namespace

void TurnedSize(std::uint32_t width, std::uint32_t height, int quarterTurns, std::uint32_t* turnedWidth,
                std::uint32_t* turnedHeight) {
    const bool swap = Quarters(quarterTurns) % 2 == 1;
    *turnedWidth = swap ? height : width;
    *turnedHeight = swap ? width : height;
}

bool TurnImage(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
               std::uint32_t bitsPerPixel, int quarterTurns, std::uint8_t* target, std::ptrdiff_t targetStride) {
    if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24) return false;
    const int quarters = Quarters(quarterTurns);
    std::uint32_t targetWidth = 0, targetHeight = 0;
    TurnedSize(width, height, quarters, &targetWidth, &targetHeight);
    const std::size_t rowBytes = PackedRowBytes(targetWidth, bitsPerPixel);
    const std::size_t targetRow = static_cast<std::size_t>(targetStride < 0 ? -targetStride : targetStride);
    const std::size_t sourceRow = static_cast<std::size_t>(sourceStride < 0 ? -sourceStride : sourceStride);
    if (targetRow < rowBytes || sourceRow < PackedRowBytes(width, bitsPerPixel)) return false;
    if (width == 0 || height == 0) return true;

    // The padding first, so the pixels' rows need no tail of their own.
    if (targetRow > rowBytes) {
        for (std::uint32_t y = 0; y < targetHeight; ++y) {
            std::memset(target + std::ptrdiff_t(y) * targetStride + rowBytes, 0, targetRow - rowBytes);
        }
    }
    if (bitsPerPixel == 1) {
        TurnBits(source, sourceStride, width, height, quarters, target, targetStride);
        return true;
    }
    if (quarters == 0) {
        for (std::uint32_t y = 0; y < height; ++y) {
            std::memcpy(target + std::ptrdiff_t(y) * targetStride, source + std::ptrdiff_t(y) * sourceStride, rowBytes);
        }
    } else if (quarters == 2) {
        if (bitsPerPixel == 8) TurnBytesHalf<1>(source, sourceStride, width, height, target, targetStride);
        else TurnBytesHalf<3>(source, sourceStride, width, height, target, targetStride);
    } else {
        if (bitsPerPixel == 8) TurnBytesQuarter<1>(source, sourceStride, width, height, quarters, target, targetStride);
        else TurnBytesQuarter<3>(source, sourceStride, width, height, quarters, target, targetStride);
    }
    return true;
}
