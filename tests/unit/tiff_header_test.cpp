// The TIFF header: every directory entry at its offset, the rationals and
// bits-per-sample triple they point to, the zeroed tail, and whole files
// (header plus strip) accepted by tiffinfo and ImageMagick with the pixels
// read back.
#include "imaging/tiff_header.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <vector>

#include "image_tools.h"
#include "imaging/little_endian_writer.h"

namespace {

struct EntryExpectation {
    std::uint32_t offset, tag, type, count, value;
};

void ExpectEntries(const std::vector<std::uint8_t>& h, std::initializer_list<EntryExpectation> entries) {
    for (const auto& e : entries) {
        EXPECT_EQ(ReadU16(h.data(), e.offset), e.tag) << "tag at " << e.offset;
        EXPECT_EQ(ReadU16(h.data(), e.offset + 2), e.type) << "type of tag " << e.tag;
        EXPECT_EQ(ReadU32(h.data(), e.offset + 4), e.count) << "count of tag " << e.tag;
        EXPECT_EQ(ReadU32(h.data(), e.offset + 8), e.value) << "value of tag " << e.tag;
    }
}

std::vector<std::uint8_t> Header(std::uint32_t bytesPerLine, std::uint32_t pixels, std::uint32_t lines,
                                 std::uint32_t bits, std::uint32_t xRes, std::uint32_t yRes) {
    std::vector<std::uint8_t> h(TiffHeaderSize() + 4, 0xAA);
    FillTiffHeader(h.data(), bytesPerLine, pixels, lines, bits, xRes, yRes);
    return h;
}

TEST(FillTiffHeader, ColourPageByteByByte) {
    ASSERT_EQ(TiffHeaderSize(), 354u);
    const auto h = Header(7650, 2550, 3300, 24, 150, 150);
    EXPECT_EQ(h[0], 'I');
    EXPECT_EQ(h[1], 'I');
    EXPECT_EQ(ReadU16(h.data(), 2), 42u) << "version";
    EXPECT_EQ(ReadU32(h.data(), 4), 8u) << "IFD offset";
    EXPECT_EQ(ReadU16(h.data(), 8), 13u) << "entry count";
    ExpectEntries(h, {
                         {10, 254, 3, 1, 0},
                         {22, 256, 3, 1, 2550},
                         {34, 257, 3, 1, 3300},
                         {46, 258, 3, 3, 186},
                         {58, 259, 3, 1, 1},
                         {70, 262, 3, 1, 2},
                         {82, 273, 4, 1, 354},
                         {94, 277, 3, 1, 3},
                         {106, 278, 3, 1, 3300},
                         {118, 279, 4, 1, 25245000},
                         {130, 282, 5, 1, 170},
                         {142, 283, 5, 1, 178},
                         {154, 296, 3, 1, 2},
                     });
    EXPECT_EQ(ReadU32(h.data(), 166), 0u) << "next IFD";
    EXPECT_EQ(ReadU32(h.data(), 170), 150u) << "X resolution numerator";
    EXPECT_EQ(ReadU32(h.data(), 174), 1u) << "X resolution denominator";
    EXPECT_EQ(ReadU32(h.data(), 178), 150u) << "Y resolution numerator";
    EXPECT_EQ(ReadU32(h.data(), 182), 1u) << "Y resolution denominator";
    for (std::uint32_t at : {186u, 188u, 190u}) EXPECT_EQ(ReadU16(h.data(), at), 8u) << "bits per sample at " << at;
}

TEST(FillTiffHeader, DepthDecidesSamplesBitsAndPhotometric) {
    const struct {
        std::uint32_t bits, bpsCount, bpsValue, photometric, samples;
    } cases[] = {{1, 1, 1, 1, 1}, {8, 1, 8, 1, 1}, {24, 3, 186, 2, 3}, {4, 3, 186, 2, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits per pixel");
        const auto h = Header(100, 200, 50, c.bits, 300, 600);
        ExpectEntries(h, {{46, 258, 3, c.bpsCount, c.bpsValue}, {70, 262, 3, 1, c.photometric},
                          {94, 277, 3, 1, c.samples}, {118, 279, 4, 1, 5000}});
        EXPECT_EQ(ReadU32(h.data(), 170), 300u);
        EXPECT_EQ(ReadU32(h.data(), 178), 600u);
        EXPECT_EQ(ReadU16(h.data(), 186), 8u) << "the triple is written for every depth";
    }
}

TEST(FillTiffHeader, TailZeroedAndNothingPastTheHeader) {
    const auto h = Header(7650, 2550, 3300, 24, 150, 150);
    for (std::size_t i = 192; i < 354; ++i) ASSERT_EQ(h[i], 0) << "byte " << i << " carries leftover memory";
    for (std::size_t i = 354; i < h.size(); ++i) EXPECT_EQ(h[i], 0xAA) << "byte " << i << " past the header";
}

// A whole file as the file transfer writes it: header, then the strip.
std::vector<std::uint8_t> TiffFile(std::uint32_t bits, std::uint32_t width, std::uint32_t lines,
                                   std::vector<std::uint8_t>* expectedGrey, std::vector<std::uint8_t>* expectedRgb) {
    const std::uint32_t bytesPerLine = bits == 1 ? (width + 7) / 8 : bits == 8 ? width : 3 * width;
    std::vector<std::uint8_t> file(TiffHeaderSize() + bytesPerLine * lines, 0);
    FillTiffHeader(file.data(), bytesPerLine, width, lines, bits, 300, 150);
    std::uint8_t* strip = file.data() + TiffHeaderSize();
    for (std::uint32_t y = 0; y < lines; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const auto v = static_cast<std::uint8_t>((x * 13 + y * 5) & 0xFF);
            std::uint8_t* row = strip + y * bytesPerLine;
            if (bits == 1) {
                if (v > 127) row[x / 8] |= 0x80 >> (x % 8);
                expectedGrey->push_back(v > 127 ? 255 : 0);
            } else if (bits == 8) {
                row[x] = v;
                expectedGrey->push_back(v);
            } else {
                const std::uint8_t rgb[] = {v, static_cast<std::uint8_t>(v ^ 0x33), static_cast<std::uint8_t>(~v)};
                std::copy(rgb, rgb + 3, row + 3 * x);
                expectedRgb->insert(expectedRgb->end(), rgb, rgb + 3);
            }
        }
    return file;
}

class TiffReadBack : public testing::TestWithParam<std::uint32_t> {};

TEST_P(TiffReadBack, TiffinfoAndIdentifyAcceptWithPixels) {
    if (!image_tools::Installed("tiffinfo") || !image_tools::Installed("identify") ||
        !image_tools::Installed("convert"))
        GTEST_SKIP() << "tiffinfo or ImageMagick not installed";
    const std::uint32_t bits = GetParam();
    const std::uint32_t width = 19, lines = 6;
    std::vector<std::uint8_t> grey, rgb;
    const auto bytes = TiffFile(bits, width, lines, &grey, &rgb);
    image_tools::ScratchFile file(".tif");
    std::ofstream(file.path(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    const auto info = image_tools::Run("tiffinfo " + file.path());
    ASSERT_EQ(info.exitCode, 0) << info.output;
    EXPECT_EQ(info.output.find("Error"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Image Width: 19 Image Length: 6"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Bits/Sample: " + std::to_string(bits == 1 ? 1 : 8)), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Resolution: 300, 150 pixels/inch"), std::string::npos) << info.output;

    const auto id = image_tools::Run("identify -format '%m %w %h %z' " + file.path());
    ASSERT_EQ(id.exitCode, 0) << id.output;
    EXPECT_EQ(id.output, "TIFF 19 6 " + std::to_string(bits == 1 ? 1 : 8)) << id.output;

    const auto raw = image_tools::Run("convert " + file.path() + " -depth 8 " + (bits == 24 ? "rgb:-" : "gray:-"));
    ASSERT_EQ(raw.exitCode, 0);
    const auto& expected = bits == 24 ? rgb : grey;
    ASSERT_EQ(raw.output.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reinterpret_cast<const std::uint8_t*>(raw.output.data())))
        << "pixels read back differ";
}

INSTANTIATE_TEST_SUITE_P(Depths, TiffReadBack, testing::Values(1u, 8u, 24u),
                         [](const testing::TestParamInfo<std::uint32_t>& info) {
                             return "Bits" + std::to_string(info.param);
                         });

}  // namespace
