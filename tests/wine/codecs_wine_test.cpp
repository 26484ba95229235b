// Compressed transfers and encoded files through the real vorelsrc.ds: the
// protocol side is checked here (the compression each strip and
// DAT_IMAGEINFO name, the last strip's TWRC_XFERDONE, a batch's pages), and
// every image goes into the test's output folder beside the uncompressed
// scan of the same set-up, as a PNM, with a line of manifest.txt saying how
// to judge it. wine.CodecsDecoded (codecs_check.sh) then reads each back
// with Debian's decoders (djpeg, tiffinfo, pngcheck, qpdf, pdfinfo,
// pdfimages, ImageMagick) and compares the pixels.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "source_harness.h"
#include "window_helpers.h"

namespace {

struct Image {
    TW_IMAGEINFO info{};
    std::vector<unsigned char> rows;  // top-down, unpadded
};


std::string Folder() {
    static const std::string folder = [] {
        const std::string base = OutputFolder() + "codecs";
        ::CreateDirectoryA(base.c_str(), nullptr);
        return base + "\\";
    }();
    return folder;
}

// The manifest of the suite running: one a suite, so that each suite's run
// starts its own afresh.
std::string Manifest() {
    const char* jam = std::getenv("VOREL_SIM_JAM");
    return std::string("manifest-") + ::testing::UnitTest::GetInstance()->current_test_suite()->name() +
           (jam != nullptr && *jam != '\0' ? "-jam" : "") + ".txt";
}

void AddToManifest(const std::string& line) {
    std::ofstream out(Folder() + Manifest(), std::ios::app);
    out << line << "\n";
}

// The uncompressed scan as a PNM: P4 (1 black, as the scan's 0), P5 or P6.
void WritePnm(const std::string& name, const Image& image) {
    std::ofstream out(Folder() + name, std::ios::binary);
    const int bits = image.info.BitsPerPixel;
    out << (bits == 1 ? "P4" : bits == 8 ? "P5" : "P6") << "\n"
        << image.info.ImageWidth << " " << image.info.ImageLength << "\n";
    if (bits != 1) out << "255\n";
    std::vector<unsigned char> rows = image.rows;
    if (bits == 1) {
        for (auto& b : rows) b = static_cast<unsigned char>(~b);
    }
    out.write(reinterpret_cast<const char*>(rows.data()), static_cast<std::streamsize>(rows.size()));
}

void WriteBytes(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::ofstream out(Folder() + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class Codecs : public ::testing::Test {
protected:
    // A new manifest for each run of a suite.
    static void SetUpTestSuite() { ::DeleteFileA((Folder() + Manifest()).c_str()); }
    // A new manifest for each run of the suite.
    void SetUp() override { Open(); }
    void TearDown() override {
        EXPECT_EQ(source.Close(), TWRC_SUCCESS);
        ClearAnsweredBoxes();
    }
    void Open() {
        ASSERT_TRUE(source.Loaded());
        ASSERT_EQ(source.Open(), TWRC_SUCCESS);
        ASSERT_EQ(source.SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
    }
    // The set-up of a scan of the bed's top left, `right` by `bottom` inches.
    void Configure(TW_UINT16 mechanism, TW_UINT16 pixelType, TW_UINT16 dpi, TW_INT16 right, TW_INT16 bottom,
                   TW_UINT16 format = TWFF_BMP, TW_UINT16 compression = TWCP_NONE) {
        ASSERT_EQ(source.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
        ASSERT_EQ(source.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), TWRC_SUCCESS);
        ASSERT_EQ(source.SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, dpi), TWRC_SUCCESS);
        ASSERT_EQ(source.SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, dpi), TWRC_SUCCESS);
        ASSERT_EQ(source.SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES), TWRC_SUCCESS);
        ASSERT_EQ(source.SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, format), TWRC_SUCCESS);
        ASSERT_EQ(source.SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, compression), TWRC_SUCCESS)
            << "compression " << compression << " cc " << source.Status();
        TW_IMAGELAYOUT layout{};
        layout.Frame.Right.Whole = right;
        layout.Frame.Bottom.Whole = bottom;
        ASSERT_EQ(source.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
    }
    TW_IMAGEINFO Enable(TW_UINT16 compression) {
        TW_IMAGEINFO info{};
        EXPECT_EQ(source.Enable(false), TWRC_SUCCESS) << "cc " << source.Status();
        EXPECT_EQ(source.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        EXPECT_EQ(info.Compression, compression) << "DAT_IMAGEINFO Compression";
        return info;
    }
    TW_UINT16 EndXfer() {
        TW_PENDINGXFERS pending{};
        EXPECT_EQ(source.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
        return pending.Count;
    }
    void Finish() {
        if (EndXfer() == 0) {
            EXPECT_EQ(source.Disable(), TWRC_SUCCESS);
        }
    }
    // The uncompressed scan of the set-up by memory strips.
    Image Uncompressed(TW_UINT16 pixelType, TW_UINT16 dpi, TW_INT16 right, TW_INT16 bottom) {
        Image image;
        Configure(TWSX_MEMORY, pixelType, dpi, right, bottom);
        image.info = Enable(TWCP_NONE);
        image.rows = ReadMemoryRows(source, RowBytes(image.info), 64000);
        Finish();
        return image;
    }
    // A compressed memory transfer's bytes, every strip checked.
    std::vector<unsigned char> Coded(TW_UINT16 compression, TW_INT32 width) {
        std::vector<unsigned char> coded, buffer(32000);
        TW_UINT16 rc = TWRC_SUCCESS;
        for (int strip = 0; strip < 100000 && rc == TWRC_SUCCESS; ++strip) {
            TW_IMAGEMEMXFER xfer{};
            xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, 32000, buffer.data()};
            rc = source.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            EXPECT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << "strip " << strip << " cc " << source.Status();
            EXPECT_EQ(xfer.Compression, compression);
            EXPECT_EQ(xfer.Rows, TWON_DONTCARE32);
            EXPECT_EQ(xfer.Columns, TW_UINT32(width));
            if (rc == TWRC_SUCCESS) {
                EXPECT_EQ(xfer.BytesWritten, 32000u) << "a full strip before the last";
            }
            coded.insert(coded.end(), buffer.begin(), buffer.begin() + xfer.BytesWritten);
        }
        EXPECT_EQ(rc, TWRC_XFERDONE);
        Finish();
        return coded;
    }
    TW_UINT16 FileTransfer(const std::string& name, TW_UINT16 format) {
        TW_SETUPFILEXFER setup{};
        std::snprintf(setup.FileName, sizeof setup.FileName, "%s", (Folder() + name).c_str());
        setup.Format = format;
        EXPECT_EQ(source.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
        return source.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    }

    SourceHarness source;
};

// A 600 dpi colour letter page by memory in JPEG at quality 75, and the
// same page at 150 dpi beside its uncompressed scan.
TEST_F(Codecs, ColourLetterPageByMemoryInJpeg) {
    ASSERT_EQ(source.SetOneValue(ICAP_JPEGQUALITY, TWTY_INT16, 75), TWRC_SUCCESS);
    Configure(TWSX_MEMORY, TWPT_RGB, 600, 8, 11, TWFF_BMP, TWCP_JPEG);
    // The frame's last half inch: 8.5 inches wide.
    TW_IMAGELAYOUT layout{};
    layout.Frame.Right.Whole = 8;
    layout.Frame.Right.Frac = 0x8000;
    layout.Frame.Bottom.Whole = 11;
    ASSERT_EQ(source.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
    const TW_IMAGEINFO info = Enable(TWCP_JPEG);
    EXPECT_EQ(info.ImageWidth, 5100);
    EXPECT_EQ(info.ImageLength, 6600);
    const std::vector<unsigned char> coded = Coded(TWCP_JPEG, info.ImageWidth);
    WriteBytes("letter600.jpg", coded);
    const unsigned long long raw = 3ull * info.ImageWidth * info.ImageLength;
    EXPECT_LE(coded.size() * 10, raw) << "at most a tenth of the raw " << raw << " bytes";
    AddToManifest("jpeg letter600.jpg 5100 6600 " + std::to_string(raw));

    const Image plain = Uncompressed(TWPT_RGB, 150, 8, 11);
    WritePnm("letter150.ppm", plain);
    Configure(TWSX_MEMORY, TWPT_RGB, 150, 8, 11, TWFF_BMP, TWCP_JPEG);
    const TW_IMAGEINFO small = Enable(TWCP_JPEG);
    WriteBytes("letter150.jpg", Coded(TWCP_JPEG, small.ImageWidth));
    AddToManifest("lossy letter150.jpg letter150.ppm");
}

// A 1-bit 300 dpi page in Group 4, by memory (bare Group 4 data) and in a
// TIFF file.
TEST_F(Codecs, BilevelPageInGroup4ByMemoryAndFile) {
    const Image plain = Uncompressed(TWPT_BW, 300, 8, 11);
    WritePnm("bw300.pbm", plain);
    Configure(TWSX_MEMORY, TWPT_BW, 300, 8, 11, TWFF_BMP, TWCP_GROUP4);
    const TW_IMAGEINFO info = Enable(TWCP_GROUP4);
    WriteBytes("bw300.g4", Coded(TWCP_GROUP4, info.ImageWidth));
    AddToManifest("g4raw bw300.g4 bw300.pbm " + std::to_string(info.ImageWidth) + " " + std::to_string(info.ImageLength));

    Configure(TWSX_FILE, TWPT_BW, 300, 8, 11, TWFF_TIFF, TWCP_GROUP4);
    Enable(TWCP_GROUP4);
    EXPECT_EQ(FileTransfer("bw300-g4.tif", TWFF_TIFF), TWRC_XFERDONE) << "cc " << source.Status();
    Finish();
    AddToManifest("group4tiff bw300-g4.tif bw300.pbm");
}

// Every new format and compression by file transfer, beside the
// uncompressed scan of the same set-up.
TEST_F(Codecs, EveryFormatByFile) {
    struct Case {
        TW_UINT16 pixelType, format, compression;
        const char* name;
        const char* judge;
    };
    const Case cases[] = {
        {TWPT_GRAY, TWFF_JFIF, TWCP_JPEG, "grey.jpg", "lossy"},     {TWPT_RGB, TWFF_JFIF, TWCP_JPEG, "colour.jpg", "lossy"},
        {TWPT_BW, TWFF_PNG, TWCP_NONE, "bw.png", "lossless"},       {TWPT_GRAY, TWFF_PNG, TWCP_NONE, "grey.png", "lossless"},
        {TWPT_RGB, TWFF_PNG, TWCP_NONE, "colour.png", "lossless"},  {TWPT_BW, TWFF_TIFF, TWCP_GROUP4, "bw-g4.tif", "lossless"},
        {TWPT_BW, TWFF_TIFF, TWCP_LZW, "bw-lzw.tif", "lossless"},   {TWPT_GRAY, TWFF_TIFF, TWCP_ZIP, "grey-zip.tif", "lossless"},
        {TWPT_RGB, TWFF_TIFF, TWCP_LZW, "colour-lzw.tif", "lossless"}, {TWPT_RGB, TWFF_TIFF, TWCP_ZIP, "colour-zip.tif", "lossless"},
        {TWPT_GRAY, TWFF_TIFF, TWCP_JPEG, "grey-jpeg.tif", "lossy"}, {TWPT_RGB, TWFF_TIFF, TWCP_JPEG, "colour-jpeg.tif", "lossy"},
        {TWPT_RGB, TWFF_PDF, TWCP_JPEG, "colour.pdf", "lossy"},     {TWPT_GRAY, TWFF_PDF, TWCP_JPEG, "grey.pdf", "lossy"},
        {TWPT_BW, TWFF_PDF, TWCP_GROUP4, "bw.pdf", "lossless"},
    };
    const char* refs[] = {"ref-bw.pbm", "ref-grey.pgm", "ref-colour.ppm"};
    for (TW_UINT16 type : {TWPT_BW, TWPT_GRAY, TWPT_RGB}) WritePnm(refs[type], Uncompressed(type, 100, 8, 4));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure(TWSX_FILE, c.pixelType, 100, 8, 4, c.format, c.compression);
        Enable(c.compression);
        EXPECT_EQ(FileTransfer(c.name, c.format), TWRC_XFERDONE) << "cc " << source.Status();
        Finish();
        AddToManifest(std::string(c.judge) + " " + c.name + " " + refs[c.pixelType]);
    }
}

// A feeder batch of five sheets (the suite's scanner has them) into one
// multi-page TIFF and one PDF while the name stays the same; with a jam at
// sheet 4 (VOREL_SIM_JAM=4) the file holds the three pages before it, whole.
class CodecsFeeder : public Codecs {
protected:
    void Batch(TW_UINT16 format) {
        const char* jam = std::getenv("VOREL_SIM_JAM");
        const bool jams = jam != nullptr && *jam != '\0';
        AnswerBoxesWith(IDOK);
        Configure(TWSX_FILE, TWPT_GRAY, 100, 8, 4, format, TWCP_JPEG);
        ASSERT_EQ(source.Enable(false), TWRC_SUCCESS) << "cc " << source.Status();
        const std::string name = std::string("batch") + (jams ? "-jam" : "") + (format == TWFF_PDF ? ".pdf" : ".tif");
        int delivered = 0;
        for (int sheet = 1; sheet <= 5; ++sheet) {
            if (FileTransfer(name, format) == TWRC_XFERDONE) ++delivered;
            if (EndXfer() == 0) break;
        }
        EXPECT_EQ(delivered, jams ? 3 : 5);
        EXPECT_EQ(source.Disable(), TWRC_SUCCESS);
        AddToManifest("pages " + name + " " + std::to_string(jams ? 3 : 5));
    }
};

// Each test loads the source, and with it the scanner's five sheets, anew.
TEST_F(CodecsFeeder, BatchIntoOneTiff) { Batch(TWFF_TIFFMULTI); }
TEST_F(CodecsFeeder, BatchIntoOnePdf) { Batch(TWFF_PDF); }

}  // namespace
