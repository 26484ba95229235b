// Set-up only: OK keeps the image type and region the user chose (told with
// MSG_CLOSEDSOK), Cancel and the close box keep the old ones; nothing is
// scanned until a later MSG_ENABLEDS, which scans with what was kept.
#include "source_fixture.h"

using namespace source_test;

namespace {

using SetupOnlyTest = SourceTest;

TEST_F(SetupOnlyTest, OkKeepsTheChosenSetUpCancelAndCloseKeepTheOldOne) {
    struct Case {
        void (SourceDialog::*press)();
        TW_UINT16 told;
        bool kept;
    } const cases[] = {{&SourceDialog::OnFinalScanButton, MSG_CLOSEDSOK, true},
                       {&SourceDialog::OnCancel, MSG_CLOSEDSREQ, false},
                       {&SourceDialog::OnClose, MSG_CLOSEDSREQ, false}};
    const std::array<std::uint16_t, 5> wholeBed{150, 0, 0, 2550, 4200}, drawn{150, 300, 600, 600, 600};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        TearDown();
        SetUp();
        ASSERT_EQ(Open(), TWRC_SUCCESS);
        EXPECT_EQ(Control(DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, nullptr), TWRC_FAILURE);
        EXPECT_EQ(Status(), TWCC_BADVALUE);
        TW_USERINTERFACE ui{0, 0, nullptr};  // ShowUI does not matter
        ASSERT_EQ(Control(DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui), TWRC_SUCCESS);
        EXPECT_TRUE(Dialog().IsWindowVisible());
        EXPECT_EQ(headlessWindowLog.scanButtonText, "OK");
        const int resets = Calls().resets;
        Dialog().OnPreviewScanButton();
        EXPECT_EQ(Calls().resets, resets + 1) << "the preview scans";
        List().SelectString(0, "BW Photo");
        Dialog().preview.region = Rect32{30, 60, 90, 120};
        Dialog().preview.region300 = Rect32{300, 600, 900, 1200};
        (Dialog().*c.press)();
        (Dialog().*c.press)();
        EXPECT_TRUE(Calls().windows.empty()) << "nothing scanned";
        ASSERT_FALSE(Notifications().empty());
        EXPECT_EQ(Notifications()[0].msg, c.told);
        EXPECT_EQ(CountNotifications(MSG_CLOSEDSOK), c.kept ? 1 : 0) << "told once";
        EXPECT_EQ(sourceState, 500);

        ASSERT_EQ(Disable(false), TWRC_SUCCESS);
        EXPECT_FALSE(Dialog().IsWindowVisible()) << "gone at the disabling whatever ShowUI says";
        EXPECT_EQ(GetCurrent(ICAP_PIXELTYPE), c.kept ? TWPT_GRAY : TWPT_RGB);
        EXPECT_EQ(GetCurrent(ICAP_BITDEPTH), c.kept ? 8 : 24);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        EXPECT_EQ(headlessWindowLog.scanButtonText, "") << "the scan button scans again";
        ASSERT_EQ(Calls().windows.size(), 1u);
        EXPECT_EQ(Calls().windows[0], c.kept ? drawn : wholeBed);
        EXPECT_EQ(Session().ScanType().bitsPerPixel, c.kept ? 8u : 24u);
    }
}

}  // namespace
