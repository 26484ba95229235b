// The tone controls and the scaling through the real vorelsrc.ds: a grey
// scan's mean rises with ICAP_BRIGHTNESS and its spread with ICAP_CONTRAST,
// native, memory and file transfers of the same settings deliver the same
// pixels, and a scaled scan is as large as the scaling says.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "source_harness.h"
#include "window_helpers.h"

namespace {

enum class Mechanism { Native, Memory, File };

struct Image {
    TW_IMAGEINFO info{};
    std::vector<unsigned char> rows;  // top-down, unpadded
};


// The rows of a packed DIB (header, colour table, bottom-up rows).
std::vector<unsigned char> DibRows(const unsigned char* dib, const TW_IMAGEINFO& info) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    const std::size_t entries = info.BitsPerPixel == 24 ? 0 : std::size_t{1} << info.BitsPerPixel;
    const unsigned char* bits = dib + header.biSize + 4 * entries;
    const std::size_t bytes = RowBytes(info), stride = (bytes + 3) & ~std::size_t{3};
    std::vector<unsigned char> rows;
    for (TW_INT32 y = info.ImageLength; y-- > 0;) rows.insert(rows.end(), bits + stride * y, bits + stride * y + bytes);
    return rows;
}

// One grey scan of the top two inches of the bed at 50 dpi, with the
// controls, by the mechanism; the source is left open in state 4.
Image Scan(SourceHarness& source, Mechanism mechanism, int brightness, int contrast, TW_UINT32 scaling = 1) {
    Image image;
    EXPECT_EQ(source.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    EXPECT_EQ(source.SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
    EXPECT_EQ(source.SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
    EXPECT_EQ(source.SetOneValue(ICAP_BRIGHTNESS, TWTY_INT32, static_cast<TW_UINT32>(brightness)), TWRC_SUCCESS);
    EXPECT_EQ(source.SetOneValue(ICAP_CONTRAST, TWTY_INT32, static_cast<TW_UINT32>(contrast)), TWRC_SUCCESS);
    EXPECT_EQ(source.SetOneValue(ICAP_XSCALING, TWTY_FIX32, scaling), TWRC_SUCCESS);
    EXPECT_EQ(source.SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES), TWRC_SUCCESS);
    TW_IMAGELAYOUT layout{};
    layout.Frame.Right.Whole = 8;
    layout.Frame.Bottom.Whole = 2;
    EXPECT_EQ(source.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
    if (source.Enable(false) != TWRC_SUCCESS) {
        ADD_FAILURE() << "MSG_ENABLEDS cc " << source.Status();
        return image;
    }
    EXPECT_EQ(source.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image.info), TWRC_SUCCESS);
    const std::size_t bytes = RowBytes(image.info);
    switch (mechanism) {
    case Mechanism::Native: {
        TW_HANDLE dib = nullptr;
        EXPECT_EQ(source.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
        if (dib != nullptr) {
            image.rows = DibRows(static_cast<const unsigned char*>(::GlobalLock(dib)), image.info);
            ::GlobalUnlock(dib);
            ::GlobalFree(dib);
        }
        break;
    }
    case Mechanism::Memory: {
        image.rows = ReadMemoryRows(source, bytes, 32000);
        break;
    }
    case Mechanism::File: {
        const std::string file = OutputFolder() + "tone.bmp";
        TW_SETUPFILEXFER setup{};
        std::snprintf(setup.FileName, sizeof setup.FileName, "%s", file.c_str());
        setup.Format = TWFF_BMP;
        EXPECT_EQ(source.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
        EXPECT_EQ(source.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
        std::ifstream in(file, std::ios::binary);
        std::vector<unsigned char> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bmp.size() > sizeof(BITMAPFILEHEADER)) image.rows = DibRows(bmp.data() + sizeof(BITMAPFILEHEADER), image.info);
        in.close();
        ::DeleteFileA(file.c_str());
        break;
    }
    }
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(source.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
    EXPECT_EQ(source.Disable(), TWRC_SUCCESS);
    return image;
}

double Mean(const std::vector<unsigned char>& v) {
    double sum = 0;
    for (unsigned char x : v) sum += x;
    return v.empty() ? 0 : sum / v.size();
}

double Spread(const std::vector<unsigned char>& v) {
    const double mean = Mean(v);
    double sum = 0;
    for (unsigned char x : v) sum += (x - mean) * (x - mean);
    return v.empty() ? 0 : std::sqrt(sum / v.size());
}

class ToneControls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(source.Loaded());
        ASSERT_EQ(source.Open(), TWRC_SUCCESS);
        ASSERT_EQ(source.SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
    }
    void TearDown() override {
        EXPECT_EQ(source.Close(), TWRC_SUCCESS);
        EXPECT_TRUE(AnsweredBoxes().empty());
        ClearAnsweredBoxes();
    }
    SourceHarness source;
};

}  // namespace

TEST_F(ToneControls, BrightnessAndContrastByEveryMechanism) {
    double previousMean = -1, previousSpread = -1;
    for (int value : {-1000, -500, 0, 500, 1000}) {
        const Image native = Scan(source, Mechanism::Native, value, 0);
        ASSERT_EQ(native.rows.size(), 400u * 100u) << "8 x 2 inches at 50 dpi";
        EXPECT_EQ(Scan(source, Mechanism::Memory, value, 0).rows, native.rows) << "memory, brightness " << value;
        EXPECT_EQ(Scan(source, Mechanism::File, value, 0).rows, native.rows) << "file, brightness " << value;
        const double mean = Mean(native.rows);
        EXPECT_GT(mean, previousMean) << "brightness " << value;
        previousMean = mean;

        const Image contrasted = Scan(source, Mechanism::Memory, 0, value);
        EXPECT_EQ(Scan(source, Mechanism::Native, 0, value).rows, contrasted.rows) << "native, contrast " << value;
        const double spread = Spread(contrasted.rows);
        EXPECT_GT(spread, previousSpread) << "contrast " << value;
        previousSpread = spread;
    }
}

TEST_F(ToneControls, ScalingSizesTheImage) {
    const Image plain = Scan(source, Mechanism::Memory, 0, 0);
    const Image doubled = Scan(source, Mechanism::Native, 0, 0, 2);
    EXPECT_EQ(doubled.info.ImageWidth, 2 * plain.info.ImageWidth);
    EXPECT_EQ(doubled.info.ImageLength, 2 * plain.info.ImageLength);
    EXPECT_EQ(doubled.info.XResolution.Whole, 50) << "the resolution asked for";
    EXPECT_EQ(doubled.rows.size(), 4 * plain.rows.size());
}
