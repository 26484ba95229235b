// The encoders, read back by the libraries themselves: every format, depth
// and coding of a test page written, decoded, and compared pixel for pixel
// with the page (lossless exactly, JPEG within a mean error), in both
// photometries of 1- and 8-bit scans; the resolution each file carries; a
// multi-page TIFF and PDF whole after each page; a write that fails midway.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include "imaging/codecs/byte_sink.h"
#include "imaging/codecs/image_writer.h"
#include "codec_decoders.h"

namespace {

using namespace codec_test;

// The page as it looks: grey levels (0 black) or RGB triples, top-down.
struct Picture {
    std::uint32_t width = 0, height = 0, channels = 1;
    std::vector<std::uint8_t> levels;
};

// A page with smooth gradients, flat paper and hard black blocks, as a scan has.
Picture TestPicture(std::uint32_t width, std::uint32_t height, std::uint32_t bits) {
    Picture p;
    p.width = width;
    p.height = height;
    p.channels = bits == 24 ? 3 : 1;
    p.levels.resize(std::size_t(width) * height * p.channels);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool block = (x / 24 + y / 16) % 5 == 0 && y % 48 < 40;
            for (std::uint32_t c = 0; c < p.channels; ++c) {
                int v = y < height / 3 ? int((x * 255) / width + c * 40) % 256 : 235;
                if (block) v = 10;
                if (bits == 1) v = v >= 128 ? 255 : 0;
                p.levels[(std::size_t(y) * width + x) * p.channels + c] = static_cast<std::uint8_t>(v);
            }
        }
    }
    return p;
}

// The rows the source would hand over for the picture.
std::vector<std::uint8_t> ScanRows(const Picture& p, std::uint32_t bits, bool whiteIsZero, std::size_t* stride) {
    *stride = (std::size_t(p.width) * bits + 7) / 8 + 3;  // a little slack, as a scanner's lines may have
    std::vector<std::uint8_t> rows(*stride * p.height, 0);
    for (std::uint32_t y = 0; y < p.height; ++y) {
        std::uint8_t* row = rows.data() + *stride * y;
        for (std::uint32_t x = 0; x < p.width; ++x) {
            const std::uint8_t* v = &p.levels[(std::size_t(y) * p.width + x) * p.channels];
            if (bits == 24) {
                std::memcpy(row + 3 * x, v, 3);
            } else if (bits == 8) {
                row[x] = whiteIsZero ? static_cast<std::uint8_t>(255 - v[0]) : v[0];
            } else if ((v[0] != 0) != whiteIsZero) {
                row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return rows;
}

double MeanError(const Picture& expected, const std::vector<std::uint8_t>& got) {
    if (got.size() != expected.levels.size()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < got.size(); ++i) sum += std::abs(int(got[i]) - int(expected.levels[i]));
    return sum / got.size();
}

struct Case {
    EncodedFormat format;
    std::uint32_t bits;
    ImageCoding coding;
    double maxError;  // 0: lossless
};

const char* Name(EncodedFormat f) {
    switch (f) {
    case EncodedFormat::JpegStream: return "jpeg";
    case EncodedFormat::Group4Stream: return "g4";
    case EncodedFormat::Tiff: return "tiff";
    case EncodedFormat::Png: return "png";
    case EncodedFormat::Pdf: return "pdf";
    }
    return "?";
}

TEST(ImageCodecs, EveryFormatReadsBackAsThePage) {
    const Case cases[] = {
        {EncodedFormat::JpegStream, 8, ImageCoding::Jpeg, 3},   {EncodedFormat::JpegStream, 24, ImageCoding::Jpeg, 3},
        {EncodedFormat::JpegStream, 1, ImageCoding::Jpeg, 12},  {EncodedFormat::Group4Stream, 1, ImageCoding::Group4, 0},
        {EncodedFormat::Tiff, 1, ImageCoding::Group4, 0},       {EncodedFormat::Tiff, 1, ImageCoding::Lzw, 0},
        {EncodedFormat::Tiff, 1, ImageCoding::Zip, 0},          {EncodedFormat::Tiff, 1, ImageCoding::None, 0},
        {EncodedFormat::Tiff, 8, ImageCoding::Jpeg, 3},         {EncodedFormat::Tiff, 24, ImageCoding::Jpeg, 3},
        {EncodedFormat::Tiff, 8, ImageCoding::Lzw, 0},          {EncodedFormat::Tiff, 24, ImageCoding::Lzw, 0},
        {EncodedFormat::Tiff, 8, ImageCoding::Zip, 0},          {EncodedFormat::Tiff, 24, ImageCoding::Zip, 0},
        {EncodedFormat::Png, 1, ImageCoding::None, 0},          {EncodedFormat::Png, 8, ImageCoding::None, 0},
        {EncodedFormat::Png, 24, ImageCoding::None, 0},
    };
    for (const Case& c : cases) {
        for (bool whiteIsZero : {false, true}) {
            if (c.bits == 24 && whiteIsZero) continue;
            SCOPED_TRACE(testing::Message() << Name(c.format) << " " << c.bits << "-bit coding " << int(c.coding)
                                            << (whiteIsZero ? " white-is-zero" : ""));
            const Picture picture = TestPicture(203, 77, c.bits);
            std::size_t stride = 0;
            const auto rows = ScanRows(picture, c.bits, whiteIsZero, &stride);
            PageFormat page;
            page.width = picture.width;
            page.height = picture.height;
            page.bitsPerPixel = c.bits;
            page.whiteIsZero = whiteIsZero;
            page.resolution = 300;
            page.coding = c.coding;
            page.quality = 75;

            MemorySink sink;
            auto writer = MakeImageWriter(c.format, sink);
            ASSERT_NE(writer, nullptr);
            ASSERT_TRUE(writer->BeginPage(page));
            // In two pieces, as the scanner's reads come.
            ASSERT_TRUE(writer->WriteRows(rows.data(), 30, stride));
            ASSERT_TRUE(writer->WriteRows(rows.data() + 30 * stride, page.height - 30, stride));
            ASSERT_TRUE(writer->EndPage());
            const std::vector<std::uint8_t> bytes(sink.PendingData(), sink.PendingData() + sink.Pending());

            std::vector<std::uint8_t> decoded;
            if (c.format == EncodedFormat::JpegStream) {
                int dpi = 0;
                ASSERT_TRUE(DecodeJpeg(bytes, picture.channels, &decoded, &dpi));
                EXPECT_EQ(dpi, 300) << "JFIF density";
            } else if (c.format == EncodedFormat::Group4Stream) {
                ASSERT_TRUE(DecodeGroup4(bytes, page.width, page.height, &decoded));
            } else if (c.format == EncodedFormat::Tiff) {
                const std::string name = TempName(".tif");
                Save(bytes, name);
                std::vector<float> dpi;
                const auto pages = DecodeTiffPages(name, picture.channels, &dpi);
                std::remove(name.c_str());
                ASSERT_EQ(pages.size(), 1u);
                EXPECT_EQ(dpi[0], 300.0f) << "XResolution";
                decoded = pages[0];
            } else {
                const std::string name = TempName(".png");
                Save(bytes, name);
                png_uint_32 ppm = 0;
                ASSERT_TRUE(DecodePng(name, picture.channels, &decoded, &ppm));
                std::remove(name.c_str());
                EXPECT_EQ(ppm, 11811u) << "pHYs of 300 dpi";
            }
            const double error = MeanError(picture, decoded);
            if (c.maxError == 0) {
                EXPECT_EQ(error, 0.0) << "lossless";
            } else {
                EXPECT_LT(error, c.maxError) << "mean absolute error";
            }
        }
    }
}

// A formats' refusals: codings it has no place for, a second page of a
// one-page format.
TEST(ImageCodecs, FormatsRefuseWhatTheyCannotHold) {
    EXPECT_FALSE(FormatTakes(EncodedFormat::Tiff, 1, ImageCoding::Jpeg));
    EXPECT_FALSE(FormatTakes(EncodedFormat::Tiff, 8, ImageCoding::Group4));
    EXPECT_FALSE(FormatTakes(EncodedFormat::Pdf, 24, ImageCoding::Lzw));
    EXPECT_FALSE(FormatTakes(EncodedFormat::Png, 8, ImageCoding::Jpeg));
    EXPECT_FALSE(FormatTakes(EncodedFormat::Group4Stream, 8, ImageCoding::Group4));
    EXPECT_FALSE(FormatTakes(EncodedFormat::Tiff, 16, ImageCoding::None));
    MemorySink sink;
    auto png = MakeImageWriter(EncodedFormat::Png, sink);
    PageFormat page;
    page.width = page.height = 4;
    page.bitsPerPixel = 8;
    std::uint8_t rows[16] = {};
    ASSERT_TRUE(png->BeginPage(page) && png->WriteRows(rows, 4, 4) && png->EndPage());
    EXPECT_FALSE(png->BeginPage(page)) << "a second PNG page";
    page.coding = ImageCoding::Group4;
    EXPECT_FALSE(MakeImageWriter(EncodedFormat::Tiff, sink)->BeginPage(page)) << "Group 4 of grey";
}

// Five pages into one TIFF and one PDF: after each page the file on disk is
// whole, with the pages so far, each at its own resolution.
TEST(ImageCodecs, MultiPageFilesAreWholeAfterEveryPage) {
    for (EncodedFormat format : {EncodedFormat::Tiff, EncodedFormat::Pdf}) {
        for (std::uint32_t bits : {1u, 8u, 24u}) {
            SCOPED_TRACE(testing::Message() << Name(format) << " " << bits << "-bit");
            const ImageCoding coding = bits == 1 ? ImageCoding::Group4 : ImageCoding::Jpeg;
            const std::string name = TempName(format == EncodedFormat::Tiff ? ".tif" : ".pdf");
            platform::File file;
            ASSERT_TRUE(file.Open(name.c_str(), platform::FileMode::CreateReadWrite));
            FileSink sink(file);
            auto writer = MakeImageWriter(format, sink);
            for (std::uint32_t n = 1; n <= 5; ++n) {
                const Picture picture = TestPicture(100 + n, 60, bits);
                std::size_t stride = 0;
                const auto rows = ScanRows(picture, bits, false, &stride);
                PageFormat page;
                page.width = picture.width;
                page.height = picture.height;
                page.bitsPerPixel = bits;
                page.resolution = 100 * n;
                page.coding = coding;
                ASSERT_TRUE(writer->BeginPage(page) && writer->WriteRows(rows.data(), page.height, stride) &&
                            writer->EndPage());
                if (format == EncodedFormat::Tiff) {
                    std::vector<float> dpi;
                    const auto pages = DecodeTiffPages(name, picture.channels, &dpi);
                    ASSERT_EQ(pages.size(), n) << "pages in the file after page " << n;
                    EXPECT_EQ(dpi.back(), float(100 * n));
                    EXPECT_LT(MeanError(picture, pages.back()), bits == 1 ? 0.001 : 3);
                } else if (Have("qpdf")) {
                    EXPECT_EQ(std::system(("qpdf --check " + name + " >/dev/null 2>&1").c_str()), 0)
                        << "qpdf --check after page " << n;
                    const std::string pagesOut = name + ".n";
                    std::system(("qpdf --show-npages " + name + " >" + pagesOut + " 2>/dev/null").c_str());
                    const auto text = ReadFile(pagesOut);
                    std::remove(pagesOut.c_str());
                    EXPECT_EQ(std::string(text.begin(), text.end()), std::to_string(n) + "\n");
                }
            }
            std::remove(name.c_str());
        }
    }
}

// A page dropped midway (a jam): the file cut back to where the last page
// left it is the file of the pages before, and a PDF takes the next page.
TEST(ImageCodecs, AnAbandonedPageLeavesTheFileOfThePagesBefore) {
    if (!Have("qpdf")) GTEST_SKIP() << "no qpdf";
    const std::string name = TempName(".pdf");
    platform::File file;
    ASSERT_TRUE(file.Open(name.c_str(), platform::FileMode::CreateReadWrite));
    FileSink sink(file);
    auto writer = MakeImageWriter(EncodedFormat::Pdf, sink);
    const Picture picture = TestPicture(80, 40, 8);
    std::size_t stride = 0;
    const auto rows = ScanRows(picture, 8, false, &stride);
    PageFormat page;
    page.width = 80;
    page.height = 40;
    page.bitsPerPixel = 8;
    page.coding = ImageCoding::Jpeg;
    ASSERT_TRUE(writer->BeginPage(page) && writer->WriteRows(rows.data(), 40, stride) && writer->EndPage());
    const std::uint64_t whole = sink.Size();
    ASSERT_TRUE(writer->BeginPage(page) && writer->WriteRows(rows.data(), 10, stride));
    writer->Abandon();
    ASSERT_TRUE(sink.CutTo(whole));
    EXPECT_EQ(std::system(("qpdf --check " + name + " >/dev/null 2>&1").c_str()), 0);
    ASSERT_TRUE(writer->BeginPage(page) && writer->WriteRows(rows.data(), 40, stride) && writer->EndPage());
    EXPECT_EQ(std::system(("qpdf --check " + name + " >/dev/null 2>&1").c_str()), 0) << "a page after the dropped one";
    std::remove(name.c_str());
}

}  // namespace
