// The source with scanners in other conditions, each suite in a process of
// its own with the simulated scanner set up by the environment: a scanner
// that does not answer, one with paper in its feeder, one without colour.
#include <gtest/gtest.h>

#include "source_harness.h"
#include "window_helpers.h"

// Opening shows no box: the application has not said yet whether it allows
// windows. Enabling with windows allowed shows box 107 once and fails;
// with none (no dialog, CAP_INDICATORS FALSE) it fails with no box at all.
TEST(OfflineScanner, EnablingShowsTheCommunicationBoxOnlyWhenWindowsAreAllowed) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS) << "the source opens without a scanner";
    EXPECT_TRUE(AnsweredBoxes().empty()) << "no box while opening";
    HWND dialog = FindSourceDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, 1000))) << "Preview Scan disabled";
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, 1001))) << "Final Scan disabled";
    EXPECT_EQ(harness.Enable(false), TWRC_FAILURE);
    EXPECT_EQ(harness.Status(), TWCC_BUMMER);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 1u) << "the progress is allowed: the box is shown at the enabling";
    EXPECT_EQ(boxes[0].text, "Failure to communicate with scanner. Be sure scanner is on and properly connected.  [107]");
    EXPECT_EQ(boxes[0].caption, "Vorel Source");
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_FAILURE) << "still 400";

    ClearAnsweredBoxes();
    ASSERT_EQ(harness.SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
    EXPECT_EQ(harness.Enable(false), TWRC_FAILURE);
    EXPECT_EQ(harness.Status(), TWCC_BUMMER) << "a TWAIN 1.x application";
    EXPECT_TRUE(AnsweredBoxes().empty()) << "unattended: no box";
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
}

TEST(FeederLoaded, FinalScanAsksAboutTheFeeder) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    HWND dialog = FindSourceDialog();
    ASSERT_NE(dialog, nullptr);

    AnswerBoxesWith(IDCANCEL);
    ClickButton(dialog, 1001);
    ASSERT_EQ(AnsweredBoxes().size(), 1u);
    EXPECT_EQ(AnsweredBoxes()[0].caption, "Vorel Source");
    EXPECT_EQ(AnsweredBoxes()[0].text.rfind("Your ADF is loaded and will be used for this scan.", 0), 0u);
    EXPECT_TRUE(Notifications().empty()) << "Cancel: nothing set up, nothing notified";

    AnswerBoxesWith(IDOK);
    ClearAnsweredBoxes();
    ClickButton(dialog, 1001);
    EXPECT_EQ(AnsweredBoxes().size(), 1u);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].msg, MSG_XFERREADY);
    harness.Close();
}

TEST(FeederLoaded, PreviewIsRefusedWhileTheFeederIsLoaded) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    ClickButton(FindSourceDialog(), 1000);
    ASSERT_EQ(AnsweredBoxes().size(), 1u);
    EXPECT_EQ(AnsweredBoxes()[0].text, "You can't perform a preview scan while using the ADF.");
    harness.Close();
}

TEST(FeederLoaded, WithoutDialogNothingIsAsked) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
    EXPECT_TRUE(AnsweredBoxes().empty());
    ASSERT_EQ(Notifications().size(), 1u);
    harness.Close();
}

TEST(GreyScanner, OffersOnlyTheBlackAndWhiteTypes) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    HWND dialog = FindSourceDialog();
    ASSERT_NE(dialog, nullptr);
    HWND list = ::GetDlgItem(dialog, 1002);
    EXPECT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageA(list, CB_GETCURSEL, 0, 0), 1) << "\"BW Photo\" selected";
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 2);
    harness.Close();
}
