// Where the source's two notifications go, through the real DLL: to the
// TWAIN 2 manager's DSM_Entry when TWAINDSM.DLL is loaded in the process,
// to TWAIN_32.DLL's when it refuses, and, when no manager takes
// MSG_XFERREADY, no transfer is reported ready. (Without TWAINDSM.DLL every
// other suite shows the TWAIN_32.DLL path.)
#include <gtest/gtest.h>

#include "source_harness.h"

namespace {

constexpr const char* kTwain2 = "TWAINDSM.DLL";

TW_UINT16 EndXfer(SourceHarness& harness) {
    TW_PENDINGXFERS pending{0x1234, 0};
    return harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
}

}  // namespace

TEST(Notifications, TheTwain2ManagerFirstThenTwain32ThenNoTransfer) {
    HMODULE twain2 = ::LoadLibraryA(kTwain2);
    ASSERT_NE(twain2, nullptr) << "the TWAINDSM.DLL stand-in beside the tests";
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);

    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS) << "cc " << harness.Status();
    ASSERT_EQ(Notifications(kTwain2).size(), 1u) << "MSG_XFERREADY to the TWAIN 2 manager";
    EXPECT_EQ(Notifications(kTwain2)[0].msg, MSG_XFERREADY);
    EXPECT_EQ(Notifications(kTwain2)[0].originProduct, "Vorel Source");
    EXPECT_TRUE(Notifications().empty()) << "nothing to TWAIN_32.DLL";
    ASSERT_EQ(EndXfer(harness), TWRC_SUCCESS);
    EXPECT_EQ(Notifications(kTwain2).size(), 2u) << "MSG_CLOSEDSREQ too";
    ASSERT_EQ(harness.Disable(), TWRC_SUCCESS);

    RefuseNotifications(kTwain2, true);
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS) << "cc " << harness.Status();
    ASSERT_EQ(Notifications().size(), 1u) << "refused by TWAINDSM.DLL, taken by TWAIN_32.DLL";
    EXPECT_EQ(Notifications()[0].msg, MSG_XFERREADY);
    ASSERT_EQ(EndXfer(harness), TWRC_SUCCESS);
    ASSERT_EQ(harness.Disable(), TWRC_SUCCESS);

    RefuseNotifications("TWAIN_32.DLL", true);
    EXPECT_EQ(harness.Enable(false), TWRC_FAILURE) << "MSG_XFERREADY reached no manager";
    EXPECT_EQ(harness.Status(), TWCC_BUMMER);
    EXPECT_EQ(EndXfer(harness), TWRC_FAILURE) << "no transfer is ready";
    EXPECT_EQ(harness.Status(), TWCC_SEQERROR);
    RefuseNotifications("TWAIN_32.DLL", false);
    EXPECT_EQ(harness.Enable(false), TWRC_SUCCESS) << "still open, state 400";

    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
    ::FreeLibrary(twain2);
}
