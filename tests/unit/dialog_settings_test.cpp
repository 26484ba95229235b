// The dialog's setting controls over the capabilities: what an application
// set is what they show at the enabling, what the user picks is what
// MSG_GETCURRENT answers and what is scanned, a value the application
// forbade is never offered, and nothing moves while images are pending.
#include <cstring>

#include "resources/resource_ids.h"
#include "source_fixture.h"

using namespace source_test;

namespace {

using Texts = std::vector<std::string>;

class DialogSettingsTest : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS";
    }

    // MSG_SET of a TW_FIX32 capability with a range of whole numbers.
    TW_UINT16 SetRange(TW_UINT16 capability, int minimum, int maximum, int step, int current) {
        auto fix = [](int value) { return static_cast<TW_UINT32>(static_cast<std::uint16_t>(value)); };
        platform::GlobalHandle block = platform::GlobalAllocate(platform::kGmemShareable, sizeof(TW_RANGE));
        {
            platform::LockedBlock locked(block);
            TW_RANGE range{TWTY_FIX32, fix(minimum), fix(maximum), fix(step), fix(current), fix(current)};
            std::memcpy(locked.get(), &range, sizeof range);
        }
        TW_CAPABILITY cap{capability, TWON_RANGE, block};
        const TW_UINT16 rc = Control(DAT_CAPABILITY, MSG_SET, &cap);
        platform::GlobalFreeBlock(block);
        return rc;
    }

    HeadlessControl& Control(int id) { return headlessWindowLog.controls[id]; }
    using SourceTest::Control;

    std::string Shown(int id) {
        const HeadlessControl& list = Control(id);
        return list.selected >= 0 ? list.entries[list.selected] : std::string();
    }
    // The user picks `text` in the list `id`.
    void Pick(int id, const std::string& text) {
        const Texts& entries = Control(id).entries;
        const auto at = std::find(entries.begin(), entries.end(), text);
        ASSERT_NE(at, entries.end()) << text << " is not offered";
        Control(id).selected = static_cast<int>(at - entries.begin());
        Dialog().OnSettingChange(id);
    }
    // The user drags the slider `id` to `position`.
    void Slide(int id, int position) {
        Control(id).position = position;
        Dialog().OnSettingChange(id);
    }

    static constexpr int kSettingControls[] = {IDC_RESOLUTION, IDC_ROTATION, IDC_PAGE_SIZE, IDC_BRIGHTNESS,
                                               IDC_CONTRAST};
};

TEST_F(DialogSettingsTest, ApplicationValuesShowAndUserChoicesAreNegotiated) {
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_BRIGHTNESS, TWTY_INT16, 200), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_CONTRAST, TWTY_INT16, -300), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);

    EXPECT_EQ(Control(IDC_RESOLUTION).entries,
              (Texts{"75 dpi", "100 dpi", "150 dpi", "200 dpi", "300 dpi", "600 dpi", "1200 dpi", "2400 dpi"}));
    EXPECT_EQ(Shown(IDC_RESOLUTION), "300 dpi");
    EXPECT_EQ(Control(IDC_BRIGHTNESS).position, 200);
    EXPECT_EQ(Control(IDC_BRIGHTNESS).minimum, -1000);
    EXPECT_EQ(Control(IDC_BRIGHTNESS).maximum, 1000);
    EXPECT_EQ(Control(IDC_BRIGHTNESS_VALUE).text, "200");
    EXPECT_EQ(Control(IDC_CONTRAST).position, -300);
    EXPECT_EQ(Control(IDC_ROTATION).entries, (Texts{"0\xB0", "90\xB0", "180\xB0", "270\xB0"}));
    EXPECT_EQ(Shown(IDC_ROTATION), "0\xB0");
    EXPECT_EQ(Shown(IDC_PAGE_SIZE), "Whole bed");
    for (int id : kSettingControls) EXPECT_TRUE(Control(id).enabled) << "control " << id;

    std::uint8_t levelsBefore[256];
    std::memcpy(levelsBefore, Dialog().preview.levels, sizeof levelsBefore);
    const int rendersBefore = headlessWindowLog.renders;
    Pick(IDC_RESOLUTION, "600 dpi");
    Slide(IDC_BRIGHTNESS, 500);
    Slide(IDC_CONTRAST, 100);
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 600) << "MSG_GETCURRENT ICAP_XRESOLUTION after the user's choice";
    EXPECT_EQ(GetCurrent(ICAP_YRESOLUTION), 600) << "both axes";
    EXPECT_EQ(GetCurrent(ICAP_BRIGHTNESS), 500);
    EXPECT_EQ(GetCurrent(ICAP_CONTRAST), 100);
    EXPECT_EQ(Control(IDC_BRIGHTNESS_VALUE).text, "500");
    EXPECT_NE(std::memcmp(levelsBefore, Dialog().preview.levels, sizeof levelsBefore), 0)
        << "the preview takes the new tone";
    EXPECT_EQ(headlessWindowLog.renders, rendersBefore + 2) << "drawn again at each tone change";

    Pick(IDC_ROTATION, "90\xB0");
    EXPECT_EQ(GetCurrent(ICAP_ROTATION), 90);
    Pick(IDC_ROTATION, "0\xB0");

    Pick(IDC_PAGE_SIZE, "A4");
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_A4);
    EXPECT_EQ(Dialog().preview.GetRegion(), (Rect32{0, 0, 2480, 3508})) << "the region is the page";
    EXPECT_FALSE(Dialog().IsScanRegionLocked()) << "the user may still drag it";

    Dialog().OnFinalScanButton();
    ASSERT_EQ(sourceState, 600);
    ASSERT_FALSE(Calls().windows.empty());
    const auto& window = Calls().windows.back();
    EXPECT_EQ(window[0], 600) << "scanned at the chosen resolution";
    EXPECT_EQ(window[3], 2480) << "A4 wide";
    EXPECT_EQ(window[4], 3508) << "A4 long";
    TW_IMAGEINFO info{};
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.XResolution.Whole, 600);
    EXPECT_EQ(info.ImageWidth, 4960) << "A4 at 600 dpi";
}

// A turn chosen in the dialog turns what is delivered: the image's width
// and length trade places.
TEST_F(DialogSettingsTest, RotationChosenInTheDialogTurnsTheImage) {
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 30), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 30), TWRC_SUCCESS);
    for (const char* turn : {"0\xB0", "90\xB0"}) {
        ASSERT_EQ(Enable(true), TWRC_SUCCESS);
        Pick(IDC_ROTATION, turn);
        Dialog().OnFinalScanButton();
        ASSERT_EQ(sourceState, 600) << turn;
        TW_IMAGEINFO info{};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        const bool turned = std::string(turn) == "90\xB0";
        EXPECT_EQ(info.ImageWidth, turned ? 420 : 255) << turn;
        EXPECT_EQ(info.ImageLength, turned ? 255 : 420) << turn;
        TW_PENDINGXFERS pending{};
        ASSERT_EQ(Control(DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
        ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    }
}

TEST_F(DialogSettingsTest, OnlyWhatTheApplicationAllowsIsOffered) {
    ASSERT_EQ(SetRange(ICAP_XRESOLUTION, 100, 600, 50, 200), TWRC_SUCCESS);
    ASSERT_EQ(SetRange(ICAP_BRIGHTNESS, -200, 200, 100, 0), TWRC_SUCCESS);
    ASSERT_EQ(SetRange(ICAP_CONTRAST, 0, 0, 1, 0), TWRC_SUCCESS);
    ASSERT_EQ(SetRange(ICAP_ROTATION, 0, 180, 180, 0), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_ORIENTATION, TWTY_UINT16, TWOR_ROT90), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(Control(IDC_ROTATION).entries, (Texts{"90\xB0", "270\xB0"}))
        << "rotations of 0 and 180 on a page the orientation turns by 90";
    EXPECT_EQ(Shown(IDC_ROTATION), "90\xB0");
    Pick(IDC_ROTATION, "270\xB0");
    EXPECT_EQ(GetCurrent(ICAP_ROTATION), 180);
    EXPECT_EQ(GetCurrent(ICAP_ORIENTATION), TWOR_ROT90) << "the orientation stays the application's";
    EXPECT_EQ(Control(IDC_RESOLUTION).entries, (Texts{"100 dpi", "150 dpi", "200 dpi", "300 dpi", "600 dpi"}))
        << "100 to 600 in steps of 50 (the Y resolution allows them all)";
    EXPECT_EQ(Shown(IDC_RESOLUTION), "200 dpi");
    EXPECT_EQ(Control(IDC_BRIGHTNESS).minimum, -200);
    EXPECT_EQ(Control(IDC_BRIGHTNESS).maximum, 200);
    EXPECT_FALSE(Control(IDC_CONTRAST).enabled) << "a contrast fixed at 0 leaves nothing to choose";

    Slide(IDC_BRIGHTNESS, 130);
    EXPECT_EQ(Control(IDC_BRIGHTNESS).position, 100) << "the slider stops on a step";
    EXPECT_EQ(GetCurrent(ICAP_BRIGHTNESS), 100);
    Slide(IDC_BRIGHTNESS, 900);
    EXPECT_EQ(GetCurrent(ICAP_BRIGHTNESS), 200) << "never past the application's bound";

    // Page sizes narrowed to two, with no frame of the user's own: the
    // application chose A4, which fixes the region.
    ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    platform::GlobalHandle block = platform::GlobalAllocate(platform::kGmemShareable, sizeof(TW_ENUMERATION) + 4);
    {
        platform::LockedBlock locked(block);
        auto* list = static_cast<TW_ENUMERATION*>(locked.get());
        list->ItemType = TWTY_UINT16;
        list->NumItems = 2;
        list->CurrentIndex = 0;
        list->DefaultIndex = 0;
        const TW_UINT16 sizes[2] = {TWSS_A4, TWSS_USLETTER};
        std::memcpy(list->ItemList, sizes, sizeof sizes);
    }
    TW_CAPABILITY cap{ICAP_SUPPORTEDSIZES, TWON_ENUMERATION, block};
    ASSERT_EQ(Control(DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
    platform::GlobalFreeBlock(block);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(Control(IDC_PAGE_SIZE).entries, (Texts{"A4", "US Letter"})) << "no whole bed, no drawn region";
    EXPECT_EQ(Shown(IDC_PAGE_SIZE), "A4");
    EXPECT_FALSE(Control(IDC_PAGE_SIZE).enabled) << "the application fixed the region";
}

TEST_F(DialogSettingsTest, PageSizeFollowsTheRegionDrawn) {
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    Pick(IDC_PAGE_SIZE, "US Letter");
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_USLETTER);

    // The user drags a region of the own.
    Dialog().RestoreScanRegionTo(100, 100, 1100, 1300, false);
    Dialog().OnRegionChange();
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_NONE) << "a drawn region has no fixed size";
    EXPECT_EQ(Shown(IDC_PAGE_SIZE), "Region drawn");
    TW_IMAGELAYOUT layout{};
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
    EXPECT_EQ(layout.Frame.Right.Whole, 1100) << "the frame is the region (a 1.x application's pixels, 1/300 inch)";

    Pick(IDC_PAGE_SIZE, "Whole bed");
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_NONE);
    EXPECT_EQ(Dialog().preview.GetRegion(), (Rect32{0, 0, 2550, 4200}));
    EXPECT_EQ(Control(IDC_PAGE_SIZE).entries.back(), "C6 envelope") << "the drawn entry goes with the region";
}

TEST_F(DialogSettingsTest, ControlsAreHeldWhileImagesArePending) {
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    Dialog().OnFinalScanButton();
    ASSERT_EQ(sourceState, 600);
    for (int id : kSettingControls) EXPECT_FALSE(Control(id).enabled) << "control " << id << " while pending";
    Pick(IDC_RESOLUTION, "600 dpi");
    Slide(IDC_BRIGHTNESS, 700);
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 150) << "nothing changes while images are pending";
    EXPECT_EQ(GetCurrent(ICAP_BRIGHTNESS), 0);

    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Control(DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    for (int id : kSettingControls) EXPECT_TRUE(Control(id).enabled) << "control " << id << " back in state 500";
}

TEST_F(DialogSettingsTest, SetupLeftWithoutOkKeepsTheSettingsItFound) {
    TW_USERINTERFACE ui{1, 0, nullptr};
    ASSERT_EQ(Control(DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui), TWRC_SUCCESS);
    Pick(IDC_RESOLUTION, "600 dpi");
    Slide(IDC_CONTRAST, 400);
    Pick(IDC_ROTATION, "180\xB0");
    Pick(IDC_PAGE_SIZE, "A5");
    ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 150);
    EXPECT_EQ(GetCurrent(ICAP_ROTATION), 0);
    EXPECT_EQ(GetCurrent(ICAP_CONTRAST), 0);
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_NONE);

    // Accepted with OK, a chosen page size stays the page size.
    ASSERT_EQ(Control(DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui), TWRC_SUCCESS);
    Pick(IDC_RESOLUTION, "300 dpi");
    Pick(IDC_PAGE_SIZE, "A5");
    Dialog().OnFinalScanButton();
    ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 300);
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_A5);
}

}  // namespace
