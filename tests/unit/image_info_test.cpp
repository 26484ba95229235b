// DAT_IMAGEINFO through DS_Entry: the description of the final scan before
// its first read, for each image type, and the refusals.
#include "source_fixture.h"

#include "imaging/units.h"

namespace {

using namespace source_test;

class ImageInfoTest : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS";
    }
    TW_UINT16 Info(TW_UINT16 msg, TW_IMAGEINFO* info) { return Call(DG_IMAGE, DAT_IMAGEINFO, msg, info); }
    static TW_IMAGEINFO Sentinels() {
        TW_IMAGEINFO info;
        std::memset(&info, 0x5A, sizeof info);
        return info;
    }
};

struct TypeCase {
    const char* name;
    TW_UINT16 pixelType;
    TW_UINT16 bitDepth;
    TW_INT16 samples;
    std::array<TW_INT16, 8> bitsPerSample;
    TW_INT16 bitsPerPixel;
};

TEST_F(ImageInfoTest, DescribesTheFinalScanOfEachImageType) {
    const TypeCase cases[] = {
        {"BW Drawing", TWPT_BW, 1, 1, {1, 0, 0, 0, 0, 0, 0, 0}, 1},
        {"BW Photo", TWPT_GRAY, 8, 1, {8, 0, 0, 0, 0, 0, 0, 0}, 8},
        {"Color Photo", TWPT_RGB, 24, 3, {8, 8, 8, 0, 0, 0, 0, 0}, 24},
    };
    for (const TypeCase& c : cases) {
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, c.pixelType), TWRC_SUCCESS) << c.name;
        ASSERT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, c.bitDepth), TWRC_SUCCESS) << c.name;
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS) << c.name;
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS) << c.name;
        // One inch by two inches in 1/300 inch (pixels), at 100 dpi.
        TW_IMAGELAYOUT layout{{ToFix32(300), ToFix32(300), ToFix32(600), ToFix32(900)}, 0, 0, 0};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS) << c.name;
        ASSERT_EQ(Enable(false), TWRC_SUCCESS) << c.name;
        ASSERT_EQ(sourceState, 600) << c.name;
        ASSERT_EQ(SelectedText(), c.name);

        TW_IMAGEINFO info = Sentinels();
        ASSERT_EQ(Info(MSG_GET, &info), TWRC_SUCCESS) << c.name;
        EXPECT_EQ(info.XResolution.Whole, 100) << c.name;
        EXPECT_EQ(info.XResolution.Frac, 0) << c.name;
        EXPECT_EQ(info.YResolution.Whole, 100) << c.name;
        EXPECT_EQ(info.YResolution.Frac, 0) << c.name;
        EXPECT_EQ(+info.ImageWidth, 100) << c.name;
        EXPECT_EQ(+info.ImageLength, 200) << c.name;
        EXPECT_EQ(info.SamplesPerPixel, c.samples) << c.name;
        for (int i = 0; i < 8; ++i) EXPECT_EQ(info.BitsPerSample[i], c.bitsPerSample[i]) << c.name << " sample " << i;
        EXPECT_EQ(info.BitsPerPixel, c.bitsPerPixel) << c.name;
        EXPECT_EQ(info.PixelType, static_cast<TW_INT16>(c.pixelType)) << c.name;
        EXPECT_EQ(info.Planar, 0) << c.name;
        EXPECT_EQ(info.Compression, TWCP_NONE) << c.name;

        ASSERT_EQ(Disable(false), TWRC_SUCCESS) << c.name;
    }
}

// The scan is taken at the X resolution on both axes, so that is the one
// reported for both.
TEST_F(ImageInfoTest, BothResolutionsAreTheXResolution) {
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 200), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    TW_IMAGEINFO info = Sentinels();
    ASSERT_EQ(Info(MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.XResolution.Whole, 200);
    EXPECT_EQ(info.YResolution.Whole, 200);
}

TEST_F(ImageInfoTest, RefusedOutsideStateSixHundredAndForOtherMessages) {
    TW_IMAGEINFO info = Sentinels();
    const TW_IMAGEINFO untouched = info;
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_EQ(sourceState, 500);
    EXPECT_EQ(Info(MSG_GET, &info), TWRC_FAILURE) << "state 500";
    EXPECT_EQ(Status(), TWCC_SEQERROR) << "state 500";
    EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0) << "state 500 wrote into the structure";

    ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(sourceState, 600);
    for (TW_UINT16 msg : {MSG_GETCURRENT, MSG_SET, MSG_RESET}) {
        EXPECT_EQ(Info(msg, &info), TWRC_FAILURE) << "msg " << msg;
        EXPECT_EQ(Status(), TWCC_BADPROTOCOL) << "msg " << msg;
    }
    EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0) << "a refused message wrote into the structure";
    for (void* bad : {static_cast<void*>(nullptr), reinterpret_cast<void*>(0x20)}) {
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, bad), TWRC_FAILURE);
        EXPECT_EQ(Status(), TWCC_BADVALUE);
    }
}

}  // namespace
