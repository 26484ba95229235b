// The BMP writer: file header bytes, the DIB copied behind it, refusal of
// blocks and files it cannot use, and acceptance by ImageMagick with the
// pixels read back.
#include "imaging/bmp_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <vector>

#include "image_tools.h"
#include "imaging/dib_format.h"
#include "imaging/little_endian_writer.h"
#include "platform/global_memory.h"

namespace {

using image_tools::ReadAll;
using image_tools::ScratchFile;

std::uint32_t EntriesFor(std::uint32_t bits) { return bits == 1 ? 2 : bits == 8 ? 256 : 0; }

// The value of pixel (x, y), y counted from the top: a pattern every depth
// can hold, so a flipped or shifted row shows.
std::uint8_t PixelValue(int x, int y) { return static_cast<std::uint8_t>((x * 7 + y * 31) & 0xFF); }

// A packed bottom-up DIB in a global block, as the native transfer builds
// it: header, grey colour table, rows. 1-bit pixels are white when the
// pattern value is above 127.
platform::GlobalHandle MakeDib(int width, int lines, std::uint32_t bits, std::size_t extraBytes = 0) {
    const std::uint32_t entries = EntriesFor(bits);
    const std::uint32_t stride = RowStride(DibRowBytes(width, bits));
    const std::size_t size = kDibHeaderSize + 4 * entries + std::size_t(stride) * lines + extraBytes;
    platform::GlobalHandle handle = platform::GlobalAllocate(platform::kGmemShareable | platform::kGmemZeroInit, size);
    platform::LockedBlock block(handle);
    FillDibHeader(block.get(), width, lines, bits, 0);
    FillGreyColorTable(entries, block.bytes() + kDibHeaderSize);
    std::uint8_t* rows = block.bytes() + kDibHeaderSize + 4 * entries;
    for (int y = 0; y < lines; ++y) {
        std::uint8_t* row = rows + std::size_t(stride) * (lines - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t v = PixelValue(x, y);
            if (bits == 1) {
                if (v > 127) row[x / 8] |= 0x80 >> (x % 8);
            } else if (bits == 8) {
                row[x] = v;
            } else {
                row[3 * x] = v;                                    // blue
                row[3 * x + 1] = static_cast<std::uint8_t>(v ^ 0x55);  // green
                row[3 * x + 2] = static_cast<std::uint8_t>(255 - v);   // red
            }
        }
    }
    return handle;
}

void CreateEmptyFile(const ScratchFile& file) { std::ofstream(file.path(), std::ios::binary); }

struct DibBlock {
    explicit DibBlock(platform::GlobalHandle h) : handle(h) {}
    ~DibBlock() { platform::GlobalFreeBlock(handle); }
    platform::GlobalHandle handle;
};

TEST(WriteBmpFile, FileHeaderThenTheDibAsHeld) {
    DibBlock dib(MakeDib(255, 10, 8));
    ScratchFile file(".bmp");
    CreateEmptyFile(file);
    ASSERT_EQ(WriteBmpFile(file.c_str(), dib.handle, 256), 0);

    const auto bytes = ReadAll(file.path());
    const std::uint32_t sizeImage = 256 * 10;
    const std::uint32_t dibBytes = 40 + 1024 + sizeImage;
    ASSERT_EQ(bytes.size(), 14 + dibBytes) << "14-byte file header and the packed DIB";
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(ReadU32(bytes.data(), 2), sizeImage + 1024 + 54) << "bfSize";
    EXPECT_EQ(ReadU16(bytes.data(), 6), 0u) << "bfReserved1";
    EXPECT_EQ(ReadU16(bytes.data(), 8), 0u) << "bfReserved2";
    EXPECT_EQ(ReadU32(bytes.data(), 10), 1078u) << "bfOffBits with 256 entries";

    platform::LockedBlock block(dib.handle);
    EXPECT_TRUE(std::equal(bytes.begin() + 14, bytes.end(), block.bytes())) << "the DIB follows unchanged";
}

TEST(WriteBmpFile, RefusesWhatItCannotUse) {
    DibBlock dib(MakeDib(16, 4, 8));
    ScratchFile missing(".bmp");
    EXPECT_EQ(WriteBmpFile(missing.c_str(), dib.handle, 256), 1) << "file that does not exist";
    EXPECT_FALSE(image_tools::FileExists(missing.path())) << "the writer must not create the file";

    ScratchFile file(".bmp");
    CreateEmptyFile(file);
    EXPECT_EQ(WriteBmpFile(file.c_str(), reinterpret_cast<platform::GlobalHandle>(0x4321), 256), 1) << "unknown handle";
    EXPECT_EQ(WriteBmpFile(nullptr, dib.handle, 256), 1) << "no file name";
    EXPECT_EQ(ReadAll(file.path()).size(), 0u) << "nothing written on refusal";
}

TEST(WriteBmpFile, RefusesBlockSmallerThanItsHeaderClaims) {
    ScratchFile file(".bmp");
    CreateEmptyFile(file);
    // A 24-bit DIB has no colour table; 256 entries would make the writer
    // read 1024 bytes past the end of the block.
    DibBlock dib(MakeDib(16, 4, 24));
    EXPECT_EQ(WriteBmpFile(file.c_str(), dib.handle, 256), 1);

    // A header that claims a huge image.
    DibBlock forged(MakeDib(16, 4, 8));
    {
        platform::LockedBlock block(forged.handle);
        LittleEndianWriter(block.bytes() + 20).u32(0x7FFFFFF0);  // biSizeImage
    }
    EXPECT_EQ(WriteBmpFile(file.c_str(), forged.handle, 256), 1);

    DibBlock tiny(platform::GlobalAllocate(platform::kGmemMoveable, 12));
    EXPECT_EQ(WriteBmpFile(file.c_str(), tiny.handle, 0), 1) << "block shorter than a header";
    EXPECT_EQ(ReadAll(file.path()).size(), 0u) << "nothing written on refusal";
}

TEST(WriteBmpFile, ReportsFailedWrite) {
    if (!image_tools::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    DibBlock dib(MakeDib(64, 64, 24));
    EXPECT_EQ(WriteBmpFile("/dev/full", dib.handle, 0), 1) << "a device that takes no bytes";
}

class BmpReadBack : public testing::TestWithParam<std::uint32_t> {};

TEST_P(BmpReadBack, IdentifyAcceptsAndPixelsRoundTrip) {
    if (!image_tools::Installed("identify") || !image_tools::Installed("convert"))
        GTEST_SKIP() << "ImageMagick not installed";
    const std::uint32_t bits = GetParam();
    const int width = 21, lines = 7;  // odd width: every depth has row padding
    DibBlock dib(MakeDib(width, lines, bits));
    ScratchFile file(".bmp");
    CreateEmptyFile(file);
    ASSERT_EQ(WriteBmpFile(file.c_str(), dib.handle, EntriesFor(bits)), 0);

    // Depth 1 or 8 a sample; the grey table makes 1 and 8 bits a grey
    // pseudo-class image, 24 bits a direct-class one.
    const auto info = image_tools::Run("identify -format '%m %w %h %z %r' " + file.path());
    ASSERT_EQ(info.exitCode, 0) << info.output;
    const std::string expected = bits == 1 ? "BMP3 21 7 1 PseudoClass Gray"
                                 : bits == 8 ? "BMP3 21 7 8 PseudoClass Gray"
                                             : "BMP3 21 7 8 DirectClass sRGB";
    EXPECT_EQ(info.output.substr(0, expected.size()), expected) << info.output;

    // Read back top-down as RGB, 8 bits a sample.
    const auto raw = image_tools::Run("convert " + file.path() + " -depth 8 rgb:-");
    ASSERT_EQ(raw.exitCode, 0);
    ASSERT_EQ(raw.output.size(), std::size_t(3 * width * lines)) << "bits " << bits;
    for (int y = 0; y < lines; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t v = PixelValue(x, y);
            const auto* p = reinterpret_cast<const std::uint8_t*>(raw.output.data()) + 3 * (y * width + x);
            std::uint8_t r = v, g = v, b = v;
            if (bits == 1) r = g = b = v > 127 ? 255 : 0;
            if (bits == 24) {
                b = v;
                g = static_cast<std::uint8_t>(v ^ 0x55);
                r = static_cast<std::uint8_t>(255 - v);
            }
            ASSERT_EQ(p[0], r) << "red at " << x << "," << y;
            ASSERT_EQ(p[1], g) << "green at " << x << "," << y;
            ASSERT_EQ(p[2], b) << "blue at " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpReadBack, testing::Values(1u, 8u, 24u),
                         [](const testing::TestParamInfo<std::uint32_t>& info) {
                             return "Bits" + std::to_string(info.param);
                         });

}  // namespace
