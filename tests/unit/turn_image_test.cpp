// Quarter turns of 1-, 8- and 24-bit images against a pixel-by-pixel
// reference, over odd sizes, sizes that cross the tiles and bands, 1-bit
// widths that are not whole bytes, padded and bottom-up target rows.
#include "imaging/turn_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace {

struct Image {
    std::uint32_t width = 0, height = 0, bits = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bytes;

    Image(std::uint32_t w, std::uint32_t h, std::uint32_t b, std::size_t padding = 0)
        : width(w), height(h), bits(b), stride(PackedRowBytes(w, b) + padding), bytes(stride * h) {}
    // A pixel as one number (a colour pixel's three bytes together).
    std::uint32_t Get(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* row = bytes.data() + y * stride;
        if (bits == 1) return row[x / 8] >> (7 - x % 8) & 1;
        if (bits == 8) return row[x];
        return row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
    }
};

Image Random(std::uint32_t w, std::uint32_t h, std::uint32_t bits, std::uint32_t seed) {
    Image image(w, h, bits, 3);
    std::mt19937 random(seed);
    for (auto& b : image.bytes) b = static_cast<std::uint8_t>(random());
    return image;
}

Image Turn(const Image& in, int quarters, std::size_t padding = 0) {
    std::uint32_t w = 0, h = 0;
    TurnedSize(in.width, in.height, quarters, &w, &h);
    Image out(w, h, in.bits, padding);
    std::fill(out.bytes.begin(), out.bytes.end(), 0xA5);  // every byte must be written
    EXPECT_TRUE(TurnImage(in.bytes.data(), static_cast<std::ptrdiff_t>(in.stride), in.width, in.height, in.bits,
                          quarters, out.bytes.data(), static_cast<std::ptrdiff_t>(out.stride)));
    return out;
}

// Clockwise: the pixel at (x, y) goes to (height - 1 - y, x) per quarter.
std::uint32_t ReferencePixel(const Image& in, int quarters, std::uint32_t x, std::uint32_t y) {
    for (int q = 0; q < quarters % 4; ++q) {
        // Undo one quarter at a time: (x, y) in a turned image of size
        // (h, w) came from (y, h - 1 - x) of the image before it.
        const std::uint32_t height = (quarters % 4 - 1 - q) % 2 == 0 ? in.height : in.width;
        const std::uint32_t sx = y, sy = height - 1 - x;
        x = sx;
        y = sy;
    }
    return in.Get(x, y);
}

TEST(TurnImage, EveryDepthSizeAndTurnMatchesThePixelReference) {
    const std::uint32_t sizes[][2] = {{1, 1}, {3, 5}, {7, 2}, {9, 13}, {8, 16}, {33, 70}, {65, 1}, {1, 40}, {100, 67}, {300, 150}};
    for (std::uint32_t bits : {1u, 8u, 24u}) {
        for (const auto& size : sizes) {
            const Image in = Random(size[0], size[1], bits, size[0] * 131 + size[1] + bits);
            for (int quarters = 0; quarters < 4; ++quarters) {
                SCOPED_TRACE(testing::Message() << bits << " bits, " << size[0] << " x " << size[1] << ", "
                                                << quarters * 90 << " degrees");
                const Image out = Turn(in, quarters, 2);
                ASSERT_EQ(out.width, quarters % 2 ? in.height : in.width);
                ASSERT_EQ(out.height, quarters % 2 ? in.width : in.height);
                for (std::uint32_t y = 0; y < out.height; ++y) {
                    for (std::uint32_t x = 0; x < out.width; ++x) {
                        ASSERT_EQ(out.Get(x, y), ReferencePixel(in, quarters, x, y)) << "pixel " << x << ", " << y;
                    }
                    // The last byte's unused bits and the padding are zero.
                    const std::uint8_t* row = out.bytes.data() + y * out.stride;
                    const std::size_t used = std::size_t{out.width} * bits;
                    if (used % 8 != 0) ASSERT_EQ(row[used / 8] & (0xFF >> (used % 8)), 0) << "row " << y;
                    for (std::size_t i = PackedRowBytes(out.width, bits); i < out.stride; ++i) ASSERT_EQ(row[i], 0);
                }
            }
        }
    }
}

TEST(TurnImage, FourQuartersAndTwoHalvesGiveTheImageBack) {
    for (std::uint32_t bits : {1u, 8u, 24u}) {
        Image in = Random(37, 91, bits, bits);
        in = Turn(in, 0);  // unused bits cleared, no padding
        Image turned = in;
        for (int i = 0; i < 4; ++i) turned = Turn(turned, 1);
        EXPECT_EQ(turned.bytes, in.bytes) << bits << " bits, four times 90";
        EXPECT_EQ(Turn(Turn(in, 2), 2).bytes, in.bytes) << bits << " bits, twice 180";
        EXPECT_EQ(Turn(Turn(in, 3), 1).bytes, in.bytes) << bits << " bits, 270 then 90";
        EXPECT_EQ(Turn(in, 5).bytes, Turn(in, 1).bytes) << bits << " bits, turns taken modulo 4";
    }
}

TEST(TurnImage, BottomUpTargetRowsAndRefusals) {
    // The same rows laid out from the block's end backwards, as a DIB holds
    // them: a small image and one turned in blocks and bands.
    for (const auto& size : {std::pair<std::uint32_t, std::uint32_t>{10, 6}, {300, 150}}) {
        const Image in = Random(size.first, size.second, 24, 7);
        for (int quarters : {1, 3}) {
            SCOPED_TRACE(testing::Message() << size.first << " x " << size.second << ", " << quarters * 90 << " degrees");
            const Image up = Turn(in, quarters, 2);
            std::vector<std::uint8_t> dib(up.bytes.size(), 0xA5);
            ASSERT_TRUE(TurnImage(in.bytes.data(), static_cast<std::ptrdiff_t>(in.stride), in.width, in.height, 24,
                                  quarters, dib.data() + (up.height - 1) * up.stride,
                                  -static_cast<std::ptrdiff_t>(up.stride)));
            for (std::uint32_t y = 0; y < up.height; ++y) {
                ASSERT_TRUE(std::equal(dib.begin() + (up.height - 1 - y) * up.stride,
                                       dib.begin() + (up.height - y) * up.stride, up.bytes.begin() + y * up.stride))
                    << "row " << y;
            }
        }
    }
    const Image in = Random(10, 6, 24, 7);
    std::vector<std::uint8_t> small(64, 0xA5);
    EXPECT_FALSE(TurnImage(in.bytes.data(), 30, 10, 6, 24, 1, small.data(), 17)) << "a row of 6 pixels is 18 bytes";
    EXPECT_FALSE(TurnImage(in.bytes.data(), 30, 10, 6, 16, 1, small.data(), 64)) << "16 bits";
    EXPECT_FALSE(TurnImage(in.bytes.data(), 29, 10, 6, 24, 0, small.data(), 64)) << "a source row of 29 bytes";
    EXPECT_EQ(small, std::vector<std::uint8_t>(64, 0xA5)) << "nothing written by a refusal";
}

}  // namespace
