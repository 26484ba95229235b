// DAT_PENDINGXFERS: transfers counted off CAP_XFERCOUNT, the return to
// state 500 with MSG_CLOSEDSREQ when none remain, MSG_RESET, and the scan
// that MSG_ENDXFER ends when a transfer stopped half-way.
#include <vector>

#include "source_fixture.h"

using namespace source_test;

namespace {

class PendingTransfersTest : public SourceTest {
protected:
    // Open, set CAP_XFERCOUNT, enable without the dialog: state 600.
    void ReadyWithCount(TW_INT32 count) {
        ASSERT_EQ(Open(), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, count), TWRC_SUCCESS) << "MSG_SET CAP_XFERCOUNT " << count;
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        ASSERT_EQ(sourceState, 600);
        Notifications().clear();
    }
};

TEST_F(PendingTransfersTest, EndXferCountsDownToCloseRequest) {
    struct Case {
        TW_INT32 xferCount;
        std::vector<TW_UINT16> counts;  // Count after each MSG_ENDXFER
    };
    const Case cases[] = {
        {-1, {0}}, {0, {0}}, {1, {0}}, {2, {1, 0}}, {3, {2, 1, 0}},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        ReadyWithCount(c.xferCount);
        if (HasFatalFailure()) return;
        for (std::size_t i = 0; i < c.counts.size(); ++i) {
            const bool last = i + 1 == c.counts.size();
            TW_PENDINGXFERS pending{kSentinel16, kSentinel32};
            ASSERT_EQ(Control(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS)
                << "MSG_ENDXFER " << i << " of CAP_XFERCOUNT " << c.xferCount;
            EXPECT_EQ(pending.Count, c.counts[i]) << "MSG_ENDXFER " << i << " of CAP_XFERCOUNT " << c.xferCount;
            EXPECT_EQ(TW_UINT32{pending.EOJ}, kSentinel32) << "EOJ is not written";
            EXPECT_EQ(sourceState, last ? 500 : 600) << "MSG_ENDXFER " << i << " of CAP_XFERCOUNT " << c.xferCount;
            EXPECT_EQ(CountNotifications(MSG_CLOSEDSREQ), last ? 1 : 0)
                << "MSG_CLOSEDSREQ only after the last transfer, CAP_XFERCOUNT " << c.xferCount;
        }
        ASSERT_EQ(Notifications().size(), 1u);
        EXPECT_EQ(Notifications()[0].state, 500) << "the state is 500 when MSG_CLOSEDSREQ goes out";
        EXPECT_EQ(GetCurrent(CAP_XFERCOUNT), -1) << "CAP_XFERCOUNT after the cycle from " << c.xferCount;
    }
}

TEST_F(PendingTransfersTest, GetReportsTheCountAndLeavesEojAlone) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    TW_PENDINGXFERS pending{kSentinel16, kSentinel32};
    ASSERT_EQ(Control(DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS) << "MSG_GET DAT_PENDINGXFERS in 400";
    EXPECT_EQ(pending.Count, 0xFFFF) << "CAP_XFERCOUNT -1 as the 16-bit count";
    EXPECT_EQ(TW_UINT32{pending.EOJ}, kSentinel32);
    ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(Control(DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS) << "MSG_GET DAT_PENDINGXFERS in 600";
    EXPECT_EQ(pending.Count, 3);
    EXPECT_EQ(sourceState, 600) << "MSG_GET changes no state";
    EXPECT_EQ(GetCurrent(CAP_XFERCOUNT), 3) << "MSG_GET counts nothing off";
}

TEST_F(PendingTransfersTest, ResetEndsTransfersWithoutCloseRequest) {
    ReadyWithCount(3);
    ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
    scanInProgress = 1;
    const int resetsBefore = Calls().resets;
    TW_PENDINGXFERS pending{kSentinel16, kSentinel32};
    ASSERT_EQ(Control(DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS) << "MSG_RESET DAT_PENDINGXFERS in 600";
    EXPECT_EQ(pending.Count, 0);
    EXPECT_EQ(sourceState, 500);
    EXPECT_EQ(GetCurrent(CAP_XFERCOUNT), 0) << "MSG_RESET leaves CAP_XFERCOUNT at 0, not -1";
    EXPECT_TRUE(Notifications().empty()) << "MSG_RESET sends nothing";
    EXPECT_EQ(Calls().resets, resetsBefore) << "MSG_RESET ends no scan";

    pending = TW_PENDINGXFERS{kSentinel16, kSentinel32};
    EXPECT_EQ(Control(DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_FAILURE) << "MSG_RESET DAT_PENDINGXFERS in 500";
    EXPECT_EQ(Status(), TWCC_SEQERROR);
    EXPECT_EQ(pending.Count, kSentinel16);
}

TEST_F(PendingTransfersTest, EndXferOutsideTransferReadyIsRefused) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    TW_UINT16 count = 0;
    EXPECT_EQ(EndXfer(&count), TWRC_FAILURE) << "MSG_ENDXFER in 500";
    EXPECT_EQ(Status(), TWCC_SEQERROR) << "MSG_ENDXFER in 500";
    EXPECT_EQ(count, kSentinel16) << "Count untouched";
    EXPECT_EQ(GetCurrent(CAP_XFERCOUNT), -1) << "nothing counted off";
    EXPECT_TRUE(Notifications().empty());
    EXPECT_EQ(sourceState, 500);
}

// A memory transfer stopped between strips leaves the scanner mid-scan;
// ending the transfer resets the scanner. The flag itself is the
// transfer's to clear.
TEST_F(PendingTransfersTest, EndXferEndsAScanLeftInProgress) {
    for (bool inProgress : {false, true}) {
        TearDown();
        SetUp();
        ReadyWithCount(1);
        if (HasFatalFailure()) return;
        scanInProgress = inProgress ? 1 : 0;
        const int resetsBefore = Calls().resets;
        ASSERT_EQ(EndXfer(), TWRC_SUCCESS) << "MSG_ENDXFER, scan in progress " << inProgress;
        EXPECT_EQ(Calls().resets - resetsBefore, inProgress ? 1 : 0) << "scanner reset, scan in progress " << inProgress;
        EXPECT_EQ(scanInProgress, inProgress ? 1u : 0u) << "the flag is left as it was";
    }
}

}  // namespace
