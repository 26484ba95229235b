// Conversion of the scanner's blue-green-red pixels into 1-, 8- and 24-bit
// DIB rows, and the widening of grey preview data.
#include "imaging/pixel_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/dib_format.h"
#include "platform/global_memory.h"

namespace {

constexpr std::uint8_t kSentinel = 0xEE;

// Source rows of `width` pixels all equal to (b, g, r).
std::vector<std::uint8_t> UniformRows(int width, int lines, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    std::vector<std::uint8_t> rows;
    for (int i = 0; i < width * lines; ++i) rows.insert(rows.end(), {b, g, r});
    return rows;
}

std::vector<std::uint8_t> Convert(std::uint32_t bits, const std::vector<std::uint8_t>& source, int width, int lines) {
    std::vector<std::uint8_t> out(RowStride(DibRowBytes(width, bits == 1 || bits == 8 || bits == 24 ? bits : 24)) * lines,
                                  kSentinel);
    ConvertRows(bits, out.data(), source.data(), width, lines);
    return out;
}

// The scanner's own grey and black-and-white: its weights, its rounding and
// its threshold, applied before (grey) and after (levels) as it applies them.
TEST(ConvertRows, TheScannersGreyWeightsLevelsAndThreshold) {
    std::uint8_t inverse[256];
    for (int i = 0; i < 256; ++i) inverse[i] = static_cast<std::uint8_t>(255 - i);
    const struct {
        std::uint8_t b, g, r;
        std::uint8_t grey;
        std::uint8_t bit;
    } cases[] = {
        {127, 127, 127, 127, 0},  // below half way is black
        {128, 128, 128, 128, 1},  // half way is white
        {255, 0, 0, 29, 0},       // blue weighs 29/256
        {0, 255, 0, 149, 1},      // green weighs 150/256
        {0, 0, 255, 77, 0},       // red weighs 77/256
        {255, 255, 255, 255, 1},
        {0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const auto source = UniformRows(1, 1, c.b, c.g, c.r);
        EXPECT_EQ(Convert(8, source, 1, 1)[0], c.grey) << "8-bit grey of (" << +c.b << "," << +c.g << "," << +c.r << ")";
        EXPECT_EQ(Convert(1, source, 1, 1)[0], c.bit << 7) << "1-bit of (" << +c.b << "," << +c.g << "," << +c.r << ")";
        std::uint8_t out[4] = {};
        ConvertRows(8, out, source.data(), 1, 1, inverse);
        EXPECT_EQ(out[0], 255 - c.grey) << "levels after the grey";
        ConvertRows(1, out, source.data(), 1, 1, inverse);
        EXPECT_EQ(out[0], (255 - c.grey >= 128 ? 1 : 0) << 7) << "threshold after the levels";
        ConvertRows(24, out, source.data(), 1, 1, inverse);
        EXPECT_EQ(out[0], 255 - c.b) << "each colour byte levelled";
    }
}

TEST(ConvertRows, OneBitMatchesGreyRuleOnRandomPixels) {
    std::mt19937 random(7);
    const int width = 37, lines = 5;
    std::vector<std::uint8_t> source(3 * width * lines);
    for (auto& byte : source) byte = static_cast<std::uint8_t>(random());
    const auto bits = Convert(1, source, width, lines);
    const auto greys = Convert(8, source, width, lines);
    const std::uint32_t stride1 = RowStride((width + 7) / 8), stride8 = RowStride(width);
    for (int y = 0; y < lines; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &source[3 * (y * width + x)];
            const std::uint32_t grey = GreyOf(p[0], p[1], p[2]);
            ASSERT_EQ(greys[y * stride8 + x], grey) << "grey at " << x << "," << y;
            const int bit = (bits[y * stride1 + x / 8] >> (7 - x % 8)) & 1;
            ASSERT_EQ(bit, grey >= kWhiteFrom ? 1 : 0) << "bit at " << x << "," << y << ", grey " << grey;
        }
}

TEST(ConvertRows, PartialLastByteAndPaddingUntouched) {
    // Ten white pixels: 0xFF, then two pixels from the top bit down; the two
    // padding bytes of the 4-byte row stay as they were.
    const auto out = Convert(1, UniformRows(10, 2, 255, 255, 255), 10, 2);
    const std::vector<std::uint8_t> expected = {0xFF, 0xC0, kSentinel, kSentinel, 0xFF, 0xC0, kSentinel, kSentinel};
    EXPECT_EQ(out, expected);
}

TEST(ConvertRows, TwentyFourBitsCopiedRowByRowIntoStride) {
    const int width = 5, lines = 3;  // 15 bytes a row, stride 16
    std::vector<std::uint8_t> source(3 * width * lines);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i + 1);
    const auto out = Convert(24, source, width, lines);
    ASSERT_EQ(out.size(), 48u);
    for (int y = 0; y < lines; ++y) {
        for (int i = 0; i < 15; ++i) EXPECT_EQ(out[16 * y + i], source[15 * y + i]) << "row " << y << " byte " << i;
        EXPECT_EQ(out[16 * y + 15], kSentinel) << "padding of row " << y;
    }
}

TEST(ConvertRows, UnknownDepthOrEmptyImageWritesNothing) {
    const auto source = UniformRows(4, 2, 200, 200, 200);
    EXPECT_EQ(Convert(4, source, 4, 2), std::vector<std::uint8_t>(24, kSentinel)) << "4 bits per pixel";
    EXPECT_EQ(Convert(8, source, 0, 2), std::vector<std::uint8_t>(0)) << "zero width";
    std::vector<std::uint8_t> out(8, kSentinel);
    ConvertRows(8, out.data(), source.data(), 4, -1);
    EXPECT_EQ(out, std::vector<std::uint8_t>(8, kSentinel)) << "negative line count";
}

TEST(ExpandGreyToTriples, WidensEveryByte) {
    std::vector<std::uint8_t> buffer(3 * 6, kSentinel);
    const std::uint8_t grey[] = {0, 10, 20, 30, 40, 255};
    std::copy(std::begin(grey), std::end(grey), buffer.begin());
    const long blocksBefore = platform::GlobalBlocksOutstanding();
    EXPECT_TRUE(ExpandGreyToTriples(buffer.data(), 3, 2));
    for (int i = 0; i < 6; ++i)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(buffer[3 * i + k], grey[i]) << "pixel " << i << " byte " << k;
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksBefore) << "the temporary block is released";
}

TEST(ExpandGreyToTriples, WithoutTemporaryBlockLeavesBufferUnchanged) {
    std::vector<std::uint8_t> buffer = {1, 2, 3, 4, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel,
                                        kSentinel, kSentinel, kSentinel};
    const auto before = buffer;
    platform::FailGlobalAllocationsAfter(0);
    const bool expanded = ExpandGreyToTriples(buffer.data(), 2, 2);
    platform::FailGlobalAllocationsAfter(-1);
    EXPECT_FALSE(expanded);
    EXPECT_EQ(buffer, before);
}

}  // namespace
