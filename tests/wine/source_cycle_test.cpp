// The whole protocol cycle through the real DLL, the simulated scanner and
// the test source manager: open, negotiate, enable with and without the
// dialog, the ready notification, transfers counted off, the close request,
// disable and close, repeated in one process.
#include <gtest/gtest.h>

#include "capabilities/capability_init_table.h"
#include "source_harness.h"
#include "window_helpers.h"

namespace {

// The current value of a one-value capability, by MSG_GETCURRENT.
TW_UINT32 Current(SourceHarness& harness, TW_UINT16 cap) {
    TW_CAPABILITY capability{cap, 0, nullptr};
    if (harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &capability) != TWRC_SUCCESS) return 0xDEADBEEF;
    auto* one = static_cast<TW_ONEVALUE*>(::GlobalLock(capability.hContainer));
    TW_UINT32 value = one->Item;
    ::GlobalUnlock(capability.hContainer);
    ::GlobalFree(capability.hContainer);
    return value;
}

int CountOf(TW_UINT16 msg) {
    int count = 0;
    for (const RecordedNotification& note : Notifications()) count += note.msg == msg;
    return count;
}

}  // namespace

TEST(SourceCycle, WithoutDialogTheTransferIsReadyBeforeEnableReturns) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS) << "MSG_OPENDS, cc " << harness.Status();
    EXPECT_EQ(Current(harness, CAP_DEVICEONLINE), 1u) << "the simulated scanner is online";
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS) << "MSG_ENABLEDS ShowUI 0, cc " << harness.Status();
    std::vector<RecordedNotification> notes = Notifications();
    ASSERT_EQ(notes.size(), 1u) << "MSG_XFERREADY sent during MSG_ENABLEDS";
    EXPECT_EQ(notes[0].msg, MSG_XFERREADY);
    EXPECT_EQ(notes[0].originId, 42u) << "origin is the source identity the manager assigned";
    EXPECT_EQ(notes[0].destinationId, harness.app.Id);
    EXPECT_EQ(notes[0].originProduct, "Vorel Source");
    EXPECT_TRUE(notes[0].dataWasNull);

    TW_PENDINGXFERS pending{0x1234, 0};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
    EXPECT_EQ(CountOf(MSG_CLOSEDSREQ), 1) << "the last transfer asks to be closed";
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_FAILURE) << "now in 500";
    EXPECT_EQ(harness.Status(), TWCC_SEQERROR);
    EXPECT_EQ(harness.Disable(), TWRC_SUCCESS);
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
}

TEST(SourceCycle, TransferCountStaysReadyUntilTheLastTransfer) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
    TW_PENDINGXFERS pending{};
    for (int expected : {2, 1}) {
        ASSERT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
        EXPECT_EQ(pending.Count, expected);
        EXPECT_EQ(CountOf(MSG_CLOSEDSREQ), 0) << "transfers remain";
    }
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
    EXPECT_EQ(CountOf(MSG_CLOSEDSREQ), 1);
    EXPECT_EQ(Current(harness, CAP_XFERCOUNT), 0xFFFFFFFFu) << "CAP_XFERCOUNT back at -1";
    harness.Close();
}

TEST(SourceCycle, RepeatedCyclesLeaveNoWindowsBehind) {
    SourceHarness harness;
    for (int cycle = 0; cycle < 4; ++cycle) {
        ClearNotifications();
        ASSERT_EQ(harness.Open(), TWRC_SUCCESS) << "cycle " << cycle;
        EXPECT_EQ(CountSourceDialogs(), 1) << "one dialog window while open, cycle " << cycle;
        ASSERT_EQ(harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
        ASSERT_EQ(harness.Enable(cycle % 2 == 1), TWRC_SUCCESS) << "cycle " << cycle;
        PumpMessages();
        if (cycle % 2 == 1) {
            HWND dialog = FindSourceDialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(::IsWindowVisible(dialog));
            ClickButton(dialog, 1001);  // "Final Scan"
        }
        EXPECT_EQ(CountOf(MSG_XFERREADY), 1) << "cycle " << cycle;
        TW_PENDINGXFERS pending{};
        EXPECT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
        EXPECT_EQ(harness.Disable(), TWRC_SUCCESS);
        EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
        PumpMessages();
        EXPECT_EQ(CountSourceDialogs(), 0) << "closing destroys the dialog window, cycle " << cycle;
    }
}

TEST(SourceCycle, ReopeningStartsFromFreshCapabilities) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 5), TWRC_SUCCESS);
    EXPECT_EQ(Current(harness, CAP_XFERCOUNT), 5u);
    ASSERT_EQ(harness.Close(), TWRC_SUCCESS);
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    EXPECT_EQ(Current(harness, CAP_XFERCOUNT), 0xFFFFFFFFu) << "CAP_XFERCOUNT back at -1 after reopening";
    harness.Close();
}

TEST(SourceCycle, CapabilityAnswersThroughTheEntryPoint) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    TW_CAPABILITY supported{CAP_SUPPORTEDCAPS, 0, nullptr};
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &supported), TWRC_SUCCESS);
    EXPECT_EQ(supported.ConType, TWON_ARRAY);
    const SIZE_T count = kCapabilityCount + 3;  // the records and the three lists
    EXPECT_EQ(::GlobalSize(supported.hContainer), 6 + 2 * count);
    auto* bytes = static_cast<unsigned char*>(::GlobalLock(supported.hContainer));
    EXPECT_EQ(bytes[0] | bytes[1] << 8, TWTY_UINT16);
    EXPECT_EQ(SIZE_T(bytes[2] | bytes[3] << 8), count);
    EXPECT_EQ(bytes[6] | bytes[7] << 8, CAP_XFERCOUNT);
    EXPECT_EQ(bytes[2 + 2 * count] | bytes[3 + 2 * count] << 8, CAP_SUPPORTEDDATS);
    EXPECT_EQ(bytes[4 + 2 * count] | bytes[5 + 2 * count] << 8, ICAP_SUPPORTEDEXTIMAGEINFO);
    ::GlobalUnlock(supported.hContainer);
    ::GlobalFree(supported.hContainer);

    TW_CAPABILITY pixelType{ICAP_PIXELTYPE, 0, nullptr};
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &pixelType), TWRC_SUCCESS);
    EXPECT_EQ(pixelType.ConType, TWON_ENUMERATION);
    auto* enumeration = static_cast<TW_ENUMERATION*>(::GlobalLock(pixelType.hContainer));
    EXPECT_EQ(enumeration->NumItems, 3u);
    EXPECT_EQ(enumeration->CurrentIndex, 2u);
    ::GlobalUnlock(pixelType.hContainer);
    ::GlobalFree(pixelType.hContainer);

    TW_CAPABILITY unknown{0x1234, 0, nullptr};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &unknown), TWRC_FAILURE);
    EXPECT_EQ(harness.Status(), TWCC_BADCAP);
    harness.Close();
}

TEST(SourceCycle, SecondOpenIsOutOfSequence) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    TW_IDENTITY again = harness.source;
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &again), TWRC_FAILURE);
    EXPECT_EQ(harness.Status(), TWCC_SEQERROR);
    TW_IDENTITY identity{};
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
    EXPECT_EQ(identity.Id, 42u) << "the Id the manager assigned";
    harness.Close();
}

TEST(SourceCycle, ForeignApplicationIsIgnored) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    TW_IDENTITY stranger = harness.app;
    stranger.Id = 99;
    TW_STATUS status{};
    EXPECT_EQ(harness.CallFrom(&stranger, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &harness.source), TWRC_FAILURE);
    EXPECT_EQ(harness.CallFrom(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE);
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS) << "the connected application still closes it";
}
