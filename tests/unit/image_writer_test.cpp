// The tool's streaming writers: pages fed as memory strips (top-down, red
// first, rows padded) or as a native DIB (bottom-up, blue first) come out
// as files ImageMagick reads back pixel for pixel, in chunks smaller than
// the page; a multi-page TIFF keeps its complete pages when the next one is
// dropped; Group 4 data that arrives compressed becomes a TIFF libtiff
// decodes to the pixels compressed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <tiffio.h>

#include "image_tools.h"
#include "image_writer.h"
#include "imaging/dib_format.h"

namespace {

class MemorySink : public ByteSink {
public:
    bool WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) override {
        if (bytes_.size() < offset + size) bytes_.resize(offset + size, 0xAA);
        std::copy(bytes, bytes + size, bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
        largestWrite = std::max(largestWrite, size);
        return true;
    }
    bool Truncate(std::uint64_t size) override {
        bytes_.resize(size);
        return true;
    }
    void Save(const std::string& path) const {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
    }
    std::size_t largestWrite = 0;

private:
    std::vector<std::uint8_t> bytes_;
};

// The page's pixels as ImageMagick gives them: "rgb" or "gray" bytes,
// top-down, unpadded (1-bit pixels as 0 or 255).
std::vector<std::uint8_t> Expected(const PageFormat& f, int seed) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < f.lines; ++y) {
        for (int x = 0; x < f.width; ++x) {
            if (f.bitsPerPixel == 24) {
                for (int c = 0; c < 3; ++c) pixels.push_back(static_cast<std::uint8_t>(x * 7 + y * 13 + c * 50 + seed));
            } else if (f.bitsPerPixel == 8) {
                pixels.push_back(static_cast<std::uint8_t>(x + y * 3 + seed));
            } else {
                pixels.push_back(((x / 3 + y + seed) % 2) != 0 ? 255 : 0);
            }
        }
    }
    return pixels;
}

// The same pixels as the source hands them over: rows padded to 4 bytes,
// chocolate levels, 24-bit in the given order, bottom-up when asked.
std::vector<std::uint8_t> SourceRows(const PageFormat& f, int seed, bool bgr, bool bottomUp) {
    const std::vector<std::uint8_t> pixels = Expected(f, seed);
    const std::size_t stride = RowStride(static_cast<std::uint32_t>(f.RowBytes()));
    std::vector<std::uint8_t> rows(stride * f.lines, 0);
    for (int y = 0; y < f.lines; ++y) {
        std::uint8_t* row = &rows[stride * (bottomUp ? f.lines - 1 - y : y)];
        for (int x = 0; x < f.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * f.width + x;
            if (f.bitsPerPixel == 24) {
                row[3 * x] = pixels[3 * i + (bgr ? 2 : 0)];
                row[3 * x + 1] = pixels[3 * i + 1];
                row[3 * x + 2] = pixels[3 * i + (bgr ? 0 : 2)];
            } else if (f.bitsPerPixel == 8) {
                row[x] = pixels[i];
            } else if (pixels[i] != 0) {
                row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return rows;
}

// Feeds a page as a native DIB (one call over the whole bottom-up block)
// or as memory strips of `stripRows` rows.
void Feed(ImageWriter* writer, const PageFormat& f, int seed, bool native, int stripRows) {
    const std::size_t stride = RowStride(static_cast<std::uint32_t>(f.RowBytes()));
    const std::vector<std::uint8_t> rows = SourceRows(f, seed, native, native);
    if (native) {
        ASSERT_TRUE(writer->PutRows(0, f.lines, &rows[stride * (f.lines - 1)], -static_cast<std::ptrdiff_t>(stride), true));
        return;
    }
    for (int y = 0; y < f.lines; y += stripRows) {
        ASSERT_TRUE(writer->PutRows(y, std::min(stripRows, f.lines - y), &rows[stride * y],
                                    static_cast<std::ptrdiff_t>(stride), false));
    }
}

void ExpectPage(const std::string& file, int index, const PageFormat& f, int seed) {
    const std::string map = f.bitsPerPixel == 24 ? "rgb" : "gray";
    const image_tools::ScratchFile raw("." + map);
    const auto result = image_tools::Run("convert '" + file + "[" + std::to_string(index) + "]' -depth 8 " + map +
                                         ":" + raw.path());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::ifstream in(raw.path(), std::ios::binary);
    const std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(got == Expected(f, seed)) << file << " page " << index << ": " << f.width << " x " << f.lines << ", "
                                          << f.bitsPerPixel << " bits, " << got.size() << " bytes read";
}

TEST(ImageWriter, PagesReadBackAsFedInBoundedChunks) {
    if (!image_tools::Installed("convert")) GTEST_SKIP() << "ImageMagick not installed";
    struct Case {
        bool tiff;
        int width, lines, bits;
        bool native;
        int stripRows;
    };
    // 1000 x 300 colour is 900 KB: more than one chunk of the writer.
    const Case cases[] = {
        {true, 1000, 300, 24, false, 21}, {true, 1000, 300, 24, true, 0}, {true, 61, 37, 8, false, 5},
        {true, 61, 37, 1, true, 0},       {false, 1000, 300, 24, true, 0}, {false, 1000, 300, 24, false, 64},
        {false, 61, 37, 8, true, 0},      {false, 61, 37, 1, false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tiff ? "TIFF " : "BMP ") + std::to_string(c.bits) + " bits " +
                     (c.native ? "native" : "strips"));
        PageFormat f;
        f.width = c.width;
        f.lines = c.lines;
        f.bitsPerPixel = c.bits;
        f.xDpi = f.yDpi = 300;
        MemorySink sink;
        auto writer = c.tiff ? MakeTiffWriter(&sink, false) : MakeBmpWriter(&sink);
        ASSERT_TRUE(writer->BeginPage(f));
        Feed(writer.get(), f, 5, c.native, c.stripRows);
        ASSERT_TRUE(writer->EndPage());
        EXPECT_FALSE(writer->BeginPage(f)) << "a second page in a one-page file";
        EXPECT_LE(sink.largestWrite, 256u * 1024) << "the writer held more than a chunk";
        const image_tools::ScratchFile file(c.tiff ? ".tiff" : ".bmp");
        sink.Save(file.path());
        ExpectPage(file.path(), 0, f, 5);
    }
}

TEST(ImageWriter, MultipageTiffKeepsCompletePagesWhenOneIsDropped) {
    if (!image_tools::Installed("convert")) GTEST_SKIP() << "ImageMagick not installed";
    PageFormat colour{300, 200, 24, 150, 150, false};
    PageFormat grey{77, 50, 8, 150, 150, false};
    MemorySink sink;
    auto writer = MakeTiffWriter(&sink, true);
    ASSERT_TRUE(writer->BeginPage(colour));
    Feed(writer.get(), colour, 1, false, 7);
    ASSERT_TRUE(writer->EndPage());
    ASSERT_TRUE(writer->BeginPage(grey));
    Feed(writer.get(), grey, 2, true, 0);
    ASSERT_TRUE(writer->EndPage());
    ASSERT_TRUE(writer->BeginPage(colour));  // a third page fails half way
    Feed(writer.get(), PageFormat{300, 100, 24, 150, 150, false}, 3, false, 9);
    ASSERT_TRUE(writer->DropPage());
    EXPECT_EQ(writer->Pages(), 2);
    const image_tools::ScratchFile file(".tiff");
    sink.Save(file.path());
    const auto info = image_tools::Run("tiffinfo " + file.path());
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_EQ(image_tools::Run("identify " + file.path()).output.find("[2]"), std::string::npos) << "a third page";
    ExpectPage(file.path(), 0, colour, 1);
    ExpectPage(file.path(), 1, grey, 2);
}

// Group 4 strips as a memory transfer brings them: libtiff compresses a
// page, its one stream is fed in uneven pieces (an odd total, so the
// directory needs its pad byte), and the file around it decodes to the same
// rows at the resolution given.
TEST(ImageWriter, Group4DataBecomesATiffOfThatPage) {
    for (const int width : {61, 1000}) {
        SCOPED_TRACE("width " + std::to_string(width));
        const int lines = 77;
        const int stride = (width + 7) / 8;
        std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * lines);
        for (int y = 0; y < lines; ++y)
            for (int x = 0; x < width; ++x)
                if ((x / 7 + y / 5) % 3 == 0 || x == y) rows[y * stride + x / 8] |= std::uint8_t(0x80 >> (x % 8));
        const image_tools::ScratchFile source(".tif");
        TIFF* out = TIFFOpen(source.path().c_str(), "w");
        ASSERT_NE(out, nullptr);
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, lines);
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, lines);
        for (int y = 0; y < lines; ++y) ASSERT_EQ(TIFFWriteScanline(out, &rows[y * stride], y, 0), 1);
        TIFFClose(out);
        TIFF* in = TIFFOpen(source.path().c_str(), "r");
        ASSERT_NE(in, nullptr);
        std::vector<std::uint8_t> data(TIFFRawStripSize(in, 0));
        ASSERT_EQ(TIFFReadRawStrip(in, 0, data.data(), data.size()), static_cast<tmsize_t>(data.size()));
        TIFFClose(in);
        if (data.size() % 2 == 0) data.push_back(0);  // a stray byte after the end of the page decodes to nothing

        PageFormat page{width, lines, 1, 300, 200, false};
        MemorySink sink;
        std::uint64_t at = kGroup4TiffDataOffset;
        for (std::size_t done = 0, piece = 1; done < data.size(); done += piece, piece = piece * 3 + 1) {
            piece = std::min(piece, data.size() - done);
            ASSERT_TRUE(sink.WriteAt(at, &data[done], piece));
            at += piece;
        }
        ASSERT_TRUE(FinishGroup4Tiff(&sink, page, data.size()));
        const image_tools::ScratchFile file(".tif");
        sink.Save(file.path());
        TIFF* back = TIFFOpen(file.path().c_str(), "r");
        ASSERT_NE(back, nullptr);
        std::uint16_t compression = 0;
        float xDpi = 0, yDpi = 0;
        TIFFGetField(back, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(back, TIFFTAG_XRESOLUTION, &xDpi);
        TIFFGetField(back, TIFFTAG_YRESOLUTION, &yDpi);
        EXPECT_EQ(compression, COMPRESSION_CCITTFAX4);
        EXPECT_EQ(xDpi, 300.0f);
        EXPECT_EQ(yDpi, 200.0f);
        std::vector<std::uint8_t> row(TIFFScanlineSize(back));
        ASSERT_EQ(row.size(), static_cast<std::size_t>(stride));
        for (int y = 0; y < lines; ++y) {
            ASSERT_EQ(TIFFReadScanline(back, row.data(), y, 0), 1) << "row " << y;
            ASSERT_EQ(std::memcmp(row.data(), &rows[y * stride], stride), 0) << "row " << y;
        }
        TIFFClose(back);
    }
    MemorySink sink;
    EXPECT_FALSE(FinishGroup4Tiff(&sink, PageFormat{61, 77, 8, 300, 300, false}, 100)) << "a grey page";
    EXPECT_FALSE(FinishGroup4Tiff(&sink, PageFormat{61, 77, 1, 300, 300, false}, 0)) << "no data";
}

}  // namespace
