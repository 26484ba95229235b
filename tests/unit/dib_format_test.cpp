// The DIB header, row stride, grey colour table and logical palette, checked
// byte by byte.
#include "imaging/dib_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(RowStride, RoundsUpToMultipleOfFour) {
    const struct {
        std::uint32_t rowBytes, stride;
    } cases[] = {{0, 0}, {1, 4}, {4, 4}, {5, 8}, {101, 104}, {255, 256}, {765, 768}};
    for (const auto& c : cases) EXPECT_EQ(RowStride(c.rowBytes), c.stride) << "RowStride(" << c.rowBytes << ")";
}

TEST(DibRowBytes, ByDepth) {
    const struct {
        std::int32_t width;
        std::uint32_t bits, bytes;
    } cases[] = {{255, 1, 32}, {8, 1, 1}, {9, 1, 2}, {255, 8, 255}, {255, 24, 765}, {255, 4, 0}, {0, 24, 0}, {-5, 8, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(DibRowBytes(c.width, c.bits), c.bytes) << "width " << c.width << ", " << c.bits << " bits";
}

struct HeaderCase {
    std::int32_t width, lines;
    std::uint32_t bits;
    int rowOrder;
    std::int32_t height;
    std::uint16_t bitCount;
    std::uint32_t sizeImage;
    std::int32_t pelsPerMeter;
};

TEST(FillDibHeader, FieldsByDepthAndRowOrder) {
    const HeaderCase cases[] = {
        {255, 330, 1, 1, -330, 1, 10560, 11811},   // 32 row bytes, stride 32
        {255, 330, 24, 0, 330, 24, 253440, 5905},  // 765 row bytes, stride 768
        {255, 330, 8, 2, 330, 8, 84480, 5905},     // any row order but 1 is bottom-up
        {10, 3, 4, 1, -3, 4, 0, 5905},             // unknown depth: no row bytes, 150 dpi
        {10, 3, 0x108, 0, 3, 8, 0, 5905},          // biBitCount takes the low 8 bits only
    };
    for (const auto& c : cases) {
        std::uint8_t bytes[kDibHeaderSize + 4];
        std::fill(std::begin(bytes), std::end(bytes), 0xEE);
        FillDibHeader(bytes, c.width, c.lines, c.bits, c.rowOrder);
        const DibHeader h = ReadDibHeader(bytes);
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.lines << ", " << c.bits << " bits, order " << c.rowOrder);
        EXPECT_EQ(h.size, 40u) << "biSize";
        EXPECT_EQ(h.width, c.width) << "biWidth";
        EXPECT_EQ(h.height, c.height) << "biHeight";
        EXPECT_EQ(h.planes, 1) << "biPlanes";
        EXPECT_EQ(h.bitCount, c.bitCount) << "biBitCount";
        EXPECT_EQ(h.compression, 0u) << "biCompression";
        EXPECT_EQ(h.sizeImage, c.sizeImage) << "biSizeImage";
        EXPECT_EQ(h.xPelsPerMeter, c.pelsPerMeter) << "biXPelsPerMeter";
        EXPECT_EQ(h.yPelsPerMeter, c.pelsPerMeter) << "biYPelsPerMeter";
        EXPECT_EQ(h.clrUsed, 0u) << "biClrUsed";
        EXPECT_EQ(h.clrImportant, 0u) << "biClrImportant";
        for (std::size_t i = kDibHeaderSize; i < sizeof bytes; ++i)
            EXPECT_EQ(bytes[i], 0xEE) << "byte " << i << " past the header was written";
    }
}

TEST(FillDibHeader, IsLittleEndianOnTheWire) {
    std::uint8_t bytes[kDibHeaderSize];
    FillDibHeader(bytes, 255, 330, 1, 1);
    const std::uint8_t expectedStart[] = {40, 0, 0, 0, 255, 0, 0, 0, 0xB6, 0xFE, 0xFF, 0xFF, 1, 0, 1, 0};
    for (std::size_t i = 0; i < sizeof expectedStart; ++i) EXPECT_EQ(bytes[i], expectedStart[i]) << "byte " << i;
    EXPECT_EQ(bytes[20], 0x40) << "biSizeImage 10560 = 0x2940, low byte";
    EXPECT_EQ(bytes[21], 0x29) << "biSizeImage 10560 = 0x2940, high byte";
}

TEST(FillGreyColorTable, RampsFromBlackToWhite) {
    std::vector<std::uint8_t> two(2 * 4 + 4, 0xEE);
    FillGreyColorTable(2, two.data());
    const std::vector<std::uint8_t> expectedTwo = {0, 0, 0, 0, 255, 255, 255, 0, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(two, expectedTwo) << "2 entries: black, white, nothing after";

    std::vector<std::uint8_t> full(256 * 4);
    FillGreyColorTable(256, full.data());
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(full[4 * i], i) << "blue of entry " << i;
        EXPECT_EQ(full[4 * i + 1], i) << "green of entry " << i;
        EXPECT_EQ(full[4 * i + 2], i) << "red of entry " << i;
        EXPECT_EQ(full[4 * i + 3], 0) << "reserved of entry " << i;
    }

    std::vector<std::uint8_t> sixteen(16 * 4);
    FillGreyColorTable(16, sixteen.data());
    EXPECT_EQ(sixteen[4 * 1], 17) << "16 entries step by 255 / 15";
    EXPECT_EQ(sixteen[4 * 15], 255);
}

TEST(FillGreyColorTable, FewerThanTwoEntriesWriteNothing) {
    for (std::uint32_t count : {0u, 1u}) {
        std::vector<std::uint8_t> table(8, 0xEE);
        FillGreyColorTable(count, table.data());
        EXPECT_EQ(table, std::vector<std::uint8_t>(8, 0xEE)) << count << " entries";
    }
}

TEST(FillPaletteEntries, GreyRampAboveTwoEntries) {
    std::vector<PaletteEntry> palette(256, PaletteEntry{1, 2, 3, 4});
    FillPaletteEntries(256, palette.data());
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(palette[i].red, i);
        EXPECT_EQ(palette[i].green, i);
        EXPECT_EQ(palette[i].blue, i);
        EXPECT_EQ(palette[i].flags, 0);
    }
}

TEST(FillPaletteEntries, WhiteThenBlackForTwoEntries) {
    PaletteEntry palette[3] = {{1, 2, 3, 4}, {1, 2, 3, 4}, {9, 9, 9, 9}};
    FillPaletteEntries(2, palette);
    EXPECT_EQ(palette[0].red + palette[0].green + palette[0].blue, 3 * 255) << "entry 0 is white";
    EXPECT_EQ(palette[0].flags, 0);
    EXPECT_EQ(palette[1].red + palette[1].green + palette[1].blue + palette[1].flags, 0) << "entry 1 is black";
    EXPECT_EQ(palette[2].red, 9) << "the third entry is not the palette's";
}

TEST(FillPaletteEntries, OneEntryWritesOnlyThatEntry) {
    PaletteEntry palette[2] = {{1, 2, 3, 4}, {9, 9, 9, 9}};
    FillPaletteEntries(1, palette);
    EXPECT_EQ(palette[0].red, 255) << "entry 0 is white";
    EXPECT_EQ(palette[1].red, 9) << "a 1-entry palette has no entry 1 to write";
}

}  // namespace
