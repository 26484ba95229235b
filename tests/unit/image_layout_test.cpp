// DAT_IMAGELAYOUT through DS_Entry: frames set and read in each ICAP_UNITS
// unit land in the dialog's region in 1/300 inch, with the defaults for an
// open right or bottom edge; and the handler's refusals.
#include <algorithm>

#include "source_fixture.h"

#include "imaging/units.h"

namespace {

using namespace source_test;

TW_FIX32 Fix(float value) { return ToFix32(value); }

class ImageLayoutTest : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS";
    }
    void UseUnit(TW_UINT16 unit) {
        ASSERT_EQ(SetOneValue(ICAP_UNITS, TWTY_UINT16, unit), TWRC_SUCCESS) << "MSG_SET ICAP_UNITS " << unit;
    }
    TW_UINT16 Layout(TW_UINT16 msg, TW_IMAGELAYOUT* layout) { return Call(DG_IMAGE, DAT_IMAGELAYOUT, msg, layout); }
    std::array<std::int32_t, 4> Region() {
        std::array<std::int32_t, 4> r{};
        Dialog().GetScanRegion(&r[0], &r[1], &r[2], &r[3]);
        return r;
    }
    static TW_IMAGELAYOUT Sentinels() {
        TW_IMAGELAYOUT layout{};
        layout.Frame = {{-1, 0xFFFF}, {-1, 0xFFFF}, {-1, 0xFFFF}, {-1, 0xFFFF}};
        layout.DocumentNumber = layout.PageNumber = layout.FrameNumber = kSentinel32;
        return layout;
    }
};

struct SetCase {
    const char* name;
    TW_UINT16 unit;
    float left, top, right, bottom;
    std::array<std::int32_t, 4> region;
};

TEST_F(ImageLayoutTest, SetConvertsTheFrameToTheRegion) {
    const SetCase cases[] = {
        {"pixels, all zero: a letter page", TWUN_PIXELS, 0, 0, 0, 0, {0, 0, 2400, 3300}},
        {"pixels of 12 or less are inches", TWUN_PIXELS, 2, 3, 2550, 3300, {600, 900, 2550, 3300}},
        {"pixels of 13 are pixels", TWUN_PIXELS, 13, 13, 2550, 3300, {13, 13, 2550, 3300}},
        {"inches with their fraction", TWUN_INCHES, 1.5f, 0, 8.5f, 11, {450, 0, 2550, 3300}},
        {"centimetres, open edges", TWUN_CENTIMETERS, 0, 0, 0, 0, {0, 0, 944, 1299}},
        {"points", TWUN_POINTS, 72, 144, 612, 792, {300, 600, 2550, 3300}},
        {"twips are 1/300 inch", TWUN_TWIPS, 5, 6, 700, 800, {5, 6, 700, 800}},
    };
    for (const SetCase& c : cases) {
        UseUnit(c.unit);
        TW_IMAGELAYOUT layout = Sentinels();
        layout.Frame = {Fix(c.left), Fix(c.top), Fix(c.right), Fix(c.bottom)};
        EXPECT_EQ(Layout(MSG_SET, &layout), TWRC_SUCCESS) << c.name;
        EXPECT_EQ(Region(), c.region) << c.name;
    }
}

struct GetCase {
    TW_UINT16 unit;
    std::array<std::int32_t, 4> region;
    std::array<TW_INT16, 4> whole;
    std::array<TW_UINT16, 4> frac;
};

TEST_F(ImageLayoutTest, GetFamilyAnswersTheRegionInTheCurrentUnit) {
    const GetCase cases[] = {
        {TWUN_PIXELS, {0, 0, 2550, 3300}, {0, 0, 2550, 3300}, {0, 0, 0, 0}},
        {TWUN_INCHES, {0, 0, 2550, 3300}, {0, 0, 8, 11}, {0, 0, 32768, 0}},
        {TWUN_INCHES, {300, 150, 900, 3300}, {1, 0, 3, 11}, {0, 32768, 0, 0}},
        {TWUN_POINTS, {0, 0, 2550, 3300}, {0, 0, 612, 792}, {0, 0, 0, 0}},
        {TWUN_PICAS, {0, 0, 2550, 3300}, {0, 0, 51, 66}, {0, 0, 0, 0}},
    };
    for (const GetCase& c : cases) {
        UseUnit(c.unit);
        Dialog().SetScanRegion(c.region[0], c.region[1], c.region[2], c.region[3]);
        for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
            TW_IMAGELAYOUT layout = Sentinels();
            ASSERT_EQ(Layout(msg, &layout), TWRC_SUCCESS) << "msg " << msg << " unit " << c.unit;
            const TW_FIX32 frame[4] = {layout.Frame.Left, layout.Frame.Top, layout.Frame.Right, layout.Frame.Bottom};
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(frame[i].Whole, c.whole[i]) << "msg " << msg << " unit " << c.unit << " edge " << i;
                EXPECT_EQ(frame[i].Frac, c.frac[i]) << "msg " << msg << " unit " << c.unit << " edge " << i;
            }
            EXPECT_EQ(+layout.DocumentNumber, 1u);
            EXPECT_EQ(+layout.PageNumber, 1u);
            EXPECT_EQ(+layout.FrameNumber, 1u);
        }
    }
}

TEST_F(ImageLayoutTest, WhatIsSetInPixelsReadsBackUnchanged) {
    TW_IMAGELAYOUT set = Sentinels();
    set.Frame = {Fix(150), Fix(300), Fix(1200), Fix(2400)};
    ASSERT_EQ(Layout(MSG_SET, &set), TWRC_SUCCESS);
    TW_IMAGELAYOUT got = Sentinels();
    ASSERT_EQ(Layout(MSG_GET, &got), TWRC_SUCCESS);
    EXPECT_EQ(got.Frame.Left.Whole, 150);
    EXPECT_EQ(got.Frame.Top.Whole, 300);
    EXPECT_EQ(got.Frame.Right.Whole, 1200);
    EXPECT_EQ(got.Frame.Bottom.Whole, 2400);
}

// In every unit a frame read and set back gives back the very region: the
// fraction carried in Frac and single precision must not cost a count.
// (In pixels and twips, values of 12 or less are inches: kept above that.)
TEST_F(ImageLayoutTest, EveryRegionSurvivesGetAndSetInEveryUnit) {
    for (TW_UINT16 unit : {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS, TWUN_TWIPS, TWUN_PIXELS}) {
        UseUnit(unit);
        int lost = 0;
        for (std::int32_t v = 13; v < 2550 && lost < 5; ++v) {
            const std::array<std::int32_t, 4> region = {v, 13 + v * 7 % 4000, std::min(2550, v + 1 + v % 977),
                                                        4200 - v % 13};
            Dialog().SetScanRegion(region[0], region[1], region[2], region[3]);
            TW_IMAGELAYOUT layout = Sentinels();
            ASSERT_EQ(Layout(MSG_GET, &layout), TWRC_SUCCESS);
            ASSERT_EQ(Layout(MSG_SET, &layout), TWRC_SUCCESS);
            if (Region() != region) {
                ++lost;
                ADD_FAILURE() << "unit " << unit << ": region " << region[0] << ", " << region[1] << ", "
                              << region[2] << ", " << region[3] << " came back as " << Region()[0] << ", "
                              << Region()[1] << ", " << Region()[2] << ", " << Region()[3];
            }
        }
    }
}

// A frame reaching beyond the bed is brought onto it and said so; one with
// nothing left on the bed is refused. The scanner's window is 16 bits wide:
// no edge may reach it as another number.
TEST_F(ImageLayoutTest, FramesBeyondTheBedAreHeldToIt) {
    struct Case {
        const char* name;
        float left, top, right, bottom;
        TW_UINT16 rc;
        std::array<std::int32_t, 4> region;
    };
    const Case cases[] = {
        {"on the bed", 1, 1, 8.5f, 14, TWRC_SUCCESS, {300, 300, 2550, 4200}},
        {"right edge 219.5 inches", 0, 0, 219.5f, 11, TWRC_CHECKSTATUS, {0, 0, 2550, 3300}},
        {"negative left", -2, 1, 4, 5, TWRC_CHECKSTATUS, {0, 300, 1200, 1500}},
        {"below the bed's end", 1, 13, 2, 20, TWRC_CHECKSTATUS, {300, 3900, 600, 4200}},
        {"wholly right of the bed", 9, 1, 12, 2, TWRC_FAILURE, {10, 20, 30, 40}},
        {"wholly above the bed", 1, -5, 2, -1, TWRC_FAILURE, {10, 20, 30, 40}},
        {"right of its right edge", 5, 1, 4, 2, TWRC_FAILURE, {10, 20, 30, 40}},
    };
    UseUnit(TWUN_INCHES);
    for (const Case& c : cases) {
        Dialog().SetScanRegion(10, 20, 30, 40);
        TW_IMAGELAYOUT layout = Sentinels();
        layout.Frame = {Fix(c.left), Fix(c.top), Fix(c.right), Fix(c.bottom)};
        EXPECT_EQ(Layout(MSG_SET, &layout), c.rc) << c.name;
        if (c.rc == TWRC_FAILURE) EXPECT_EQ(Status(), TWCC_BADVALUE) << c.name;
        EXPECT_EQ(Region(), c.region) << c.name;
    }
}

// MSG_RESET puts the whole bed back, as opening left it, and answers it.
TEST_F(ImageLayoutTest, ResetRestoresTheWholeBed) {
    UseUnit(TWUN_INCHES);
    Dialog().SetScanRegion(10, 20, 30, 40);
    TW_IMAGELAYOUT layout = Sentinels();
    EXPECT_EQ(Layout(MSG_RESET, &layout), TWRC_SUCCESS);
    EXPECT_EQ(Region(), (std::array<std::int32_t, 4>{0, 0, 2550, 4200}));
    EXPECT_EQ(layout.Frame.Right.Whole, 8);
    EXPECT_EQ(layout.Frame.Right.Frac, 0x8000);
    EXPECT_EQ(layout.Frame.Bottom.Whole, 14);
    EXPECT_EQ(+layout.PageNumber, 1u);
}

TEST_F(ImageLayoutTest, RefusalsLeaveRegionAndFrameAlone) {
    Dialog().SetScanRegion(10, 20, 30, 40);
    TW_IMAGELAYOUT layout = Sentinels();
    EXPECT_EQ(Layout(MSG_GETFIRST, &layout), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL) << "MSG_GETFIRST";
    EXPECT_EQ(Layout(MSG_GETNEXT, &layout), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL) << "MSG_GETNEXT";
    EXPECT_EQ(+layout.DocumentNumber, kSentinel32);

    // Data that does not reach a structure.
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_SET}) {
        for (void* bad : {static_cast<void*>(nullptr), reinterpret_cast<void*>(0x10)}) {
            EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, msg, bad), TWRC_FAILURE) << "msg " << msg;
            EXPECT_EQ(Status(), TWCC_BADVALUE) << "msg " << msg;
        }
    }
    EXPECT_EQ(Region(), (std::array<std::int32_t, 4>{10, 20, 30, 40}));
}

TEST_F(ImageLayoutTest, WithoutDialogItIsRefused) {
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    theApp.ExitInstance();  // no dialog object at all any more
    TW_IMAGELAYOUT layout = Sentinels();
    EXPECT_EQ(Layout(MSG_GET, &layout), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_SEQERROR);
    EXPECT_EQ(+layout.DocumentNumber, kSentinel32);
    EXPECT_EQ(Layout(MSG_SET, &layout), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_SEQERROR);
}

}  // namespace
