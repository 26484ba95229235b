// DS_Entry's own decisions, before any handler runs: the data group, the
// DAT codes without a handler, event processing, calls from an application
// other than the connected one, and data pointers that must not be followed.
// Also the diagnostic texts composed at refusals.
#include <string>

#include "protocol/reporting.h"
#include "source_fixture.h"

using namespace source_test;

namespace {

class DispatchTest : public SourceTest {
protected:
    // Leaves a known condition code behind: MSG_CLOSEDS in state 300.
    void LeaveSeqError() {
        EXPECT_EQ(Close(), TWRC_FAILURE) << "MSG_CLOSEDS in 300";
        EXPECT_EQ(conditionCode, TWCC_SEQERROR);
    }
};

TEST_F(DispatchTest, UnsupportedGroupsFailAndKeepTheConditionCode) {
    for (TW_UINT32 dg : {TW_UINT32{0}, TW_UINT32{3}, TW_UINT32{4}, TW_UINT32{0x10001}, TW_UINT32{0x10002},
                         TW_UINT32{0xFFFFFFFF}}) {
        LeaveSeqError();
        TW_STATUS status{kSentinel16, kSentinel16};
        EXPECT_EQ(Call(dg, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE) << "DG " << dg << " DAT_STATUS MSG_GET";
        EXPECT_EQ(status.ConditionCode, kSentinel16) << "DG " << dg << ": nothing reported";
        EXPECT_EQ(Status(), TWCC_SEQERROR) << "DG " << dg << " leaves the earlier code";
    }
}

TEST_F(DispatchTest, DatWithoutHandlerIsBadProtocolReportedOnce) {
    struct Case {
        TW_UINT32 dg;
        TW_UINT16 dat;
        TW_UINT16 msg;
        const char* what;
    };
    const Case cases[] = {
        {DG_CONTROL, DAT_NULL, MSG_GET, "DG_CONTROL DAT_NULL MSG_GET"},
        {DG_CONTROL, DAT_EVENT, MSG_GET, "DG_CONTROL DAT_EVENT MSG_GET"},
        {DG_CONTROL, DAT_PARENT, MSG_OPENDSM, "DG_CONTROL DAT_PARENT MSG_OPENDSM"},
        {DG_CONTROL, DAT_IMAGEINFO, MSG_GET, "DG_CONTROL DAT_IMAGEINFO (an image DAT)"},
        {DG_IMAGE, DAT_IDENTITY, MSG_GET, "DG_IMAGE DAT_IDENTITY (a control DAT)"},
        {DG_IMAGE, DAT_NULL, MSG_GET, "DG_IMAGE DAT_NULL"},
        {DG_IMAGE, 0x0106, MSG_GET, "DG_IMAGE 0x0106"},
    };
    for (const Case& c : cases) {
        std::uint32_t data[64] = {};
        EXPECT_EQ(Call(c.dg, c.dat, c.msg, data), TWRC_FAILURE) << c.what;
        EXPECT_EQ(Status(), TWCC_BADPROTOCOL) << c.what;
        EXPECT_EQ(Status(), TWCC_SUCCESS) << c.what << ": reported once";
    }
}

TEST_F(DispatchTest, ProcessEventIsRecognisedByTheMessageAlone) {
    struct Route {
        TW_UINT32 dg;
        TW_UINT16 dat;
    };
    const Route routes[] = {{DG_CONTROL, DAT_EVENT}, {DG_CONTROL, DAT_IDENTITY}, {DG_IMAGE, DAT_IMAGEINFO},
                            {3, DAT_NULL},           {0x10001, DAT_EVENT}};
    auto checkAll = [&](const char* when) {
        for (const Route& r : routes) {
            conditionCode = TWCC_BADVALUE;
            int windowMessage[8] = {};
            TW_EVENT event{windowMessage, kSentinel16};
            EXPECT_EQ(Call(r.dg, r.dat, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT)
                << when << ": DG " << r.dg << " DAT " << r.dat << " MSG_PROCESSEVENT";
            EXPECT_EQ(event.TWMessage, kSentinel16) << when << ": TWMessage untouched, DAT " << r.dat;
            EXPECT_EQ(conditionCode, TWCC_BADVALUE) << when << ": conditionCode untouched, DAT " << r.dat;
        }
        TW_EVENT noMessage{nullptr, kSentinel16};
        EXPECT_EQ(Control(DAT_EVENT, MSG_PROCESSEVENT, &noMessage), TWRC_NOTDSEVENT) << when << ": null pEvent";
        EXPECT_EQ(noMessage.TWMessage, kSentinel16) << when;
        EXPECT_EQ(Control(DAT_EVENT, MSG_PROCESSEVENT, nullptr), TWRC_NOTDSEVENT) << when << ": null TW_EVENT";
    };
    checkAll("before MSG_OPENDS");
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    checkAll("state 400");
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    checkAll("state 500, dialog shown");
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(dialogWindow, nullptr) << "MSG_CLOSEDS forgets the dialog window";
    checkAll("after MSG_CLOSEDS");
}

// A message the dialog takes is the source's event: TWMessage becomes
// MSG_NULL. The dialog is offered messages only while MSG_ENABLEDS has
// recorded its window.
TEST_F(DispatchTest, MessagesTheDialogTakesAreSourceEvents) {
    headlessWindowLog.consumeMessages = true;
    int windowMessage[8] = {};
    auto process = [&](TW_UINT32 dg, TW_UINT16 dat, TW_UINT16* twMessage) {
        TW_EVENT event{windowMessage, kSentinel16};
        TW_UINT16 rc = Call(dg, dat, MSG_PROCESSEVENT, &event);
        *twMessage = event.TWMessage;
        return rc;
    };
    TW_UINT16 twMessage = 0;
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(process(DG_CONTROL, DAT_EVENT, &twMessage), TWRC_NOTDSEVENT) << "state 400: no window recorded";
    EXPECT_EQ(twMessage, kSentinel16);
    EXPECT_EQ(headlessWindowLog.offeredMessage, nullptr) << "nothing offered before MSG_ENABLEDS";

    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    conditionCode = TWCC_BADCAP;
    EXPECT_EQ(process(DG_CONTROL, DAT_EVENT, &twMessage), TWRC_DSEVENT) << "DG_CONTROL DAT_EVENT MSG_PROCESSEVENT";
    EXPECT_EQ(twMessage, MSG_NULL);
    EXPECT_EQ(headlessWindowLog.offeredWindow, Dialog().WindowHandle()) << "offered to the dialog window";
    EXPECT_EQ(headlessWindowLog.offeredMessage, static_cast<void*>(windowMessage)) << "the application's message";
    EXPECT_EQ(process(DG_IMAGE, DAT_NULL, &twMessage), TWRC_DSEVENT) << "any DG and DAT";
    EXPECT_EQ(conditionCode, TWCC_BADCAP) << "event processing leaves the condition code";

    headlessWindowLog.consumeMessages = false;
    EXPECT_EQ(process(DG_CONTROL, DAT_EVENT, &twMessage), TWRC_NOTDSEVENT) << "a message the dialog does not take";
    EXPECT_EQ(twMessage, kSentinel16);
    headlessWindowLog.consumeMessages = true;
    TW_EVENT unreadable{reinterpret_cast<TW_MEMREF>(std::uintptr_t{0x40}), kSentinel16};
    EXPECT_EQ(Control(DAT_EVENT, MSG_PROCESSEVENT, &unreadable), TWRC_NOTDSEVENT) << "unreadable pEvent";
    EXPECT_EQ(unreadable.TWMessage, kSentinel16);

    ASSERT_EQ(Close(), TWRC_SUCCESS);
    headlessWindowLog.offeredMessage = nullptr;
    EXPECT_EQ(process(DG_CONTROL, DAT_EVENT, &twMessage), TWRC_NOTDSEVENT) << "after MSG_CLOSEDS";
    EXPECT_EQ(headlessWindowLog.offeredMessage, nullptr) << "nothing offered after MSG_CLOSEDS";
}

TEST_F(DispatchTest, ForeignCallerChangesNothing) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    conditionCode = TWCC_BADCAP;

    TW_IDENTITY stranger = app;
    stranger.Id = kAppId + 1;
    TW_STATUS status{kSentinel16, kSentinel16};
    EXPECT_EQ(DS_Entry(&stranger, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE) << "foreign DAT_STATUS";
    EXPECT_EQ(status.ConditionCode, kSentinel16) << "foreign DAT_STATUS: nothing written";

    TW_IDENTITY source{};
    EXPECT_EQ(DS_Entry(&stranger, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_FAILURE) << "foreign MSG_CLOSEDS";
    EXPECT_EQ(sourceState, 400) << "foreign MSG_CLOSEDS closes nothing";
    EXPECT_EQ(DS_Entry(&stranger, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_FAILURE) << "foreign MSG_OPENDS";
    EXPECT_EQ(TW_UINT32{appIdentity.Id}, kAppId) << "foreign MSG_OPENDS keeps the connected application";

    TW_USERINTERFACE ui{0, 0, nullptr};
    EXPECT_EQ(DS_Entry(&stranger, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE) << "foreign MSG_ENABLEDS";
    EXPECT_EQ(sourceState, 400);
    EXPECT_TRUE(Notifications().empty()) << "foreign MSG_ENABLEDS starts no scan";

    TW_EVENT event{nullptr, kSentinel16};
    EXPECT_EQ(DS_Entry(&stranger, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_FAILURE)
        << "foreign MSG_PROCESSEVENT";
    EXPECT_EQ(event.TWMessage, kSentinel16);
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE) << "no origin while connected";
    EXPECT_EQ(DS_Entry(reinterpret_cast<pTW_IDENTITY>(std::uintptr_t{0x20}), DG_CONTROL, DAT_STATUS, MSG_GET, &status),
              TWRC_FAILURE)
        << "unreadable origin while connected";

    EXPECT_EQ(conditionCode, TWCC_BADCAP) << "no foreign call touches the condition code";
    EXPECT_EQ(Status(), TWCC_BADCAP) << "the connected application still reads its own code";
}

TEST_F(DispatchTest, AnyCallerIsServedWhileNobodyIsConnected) {
    TW_IDENTITY identity{};
    identity.Id = kSentinel32;
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS)
        << "MSG_GET DAT_IDENTITY without origin";
    EXPECT_EQ(TW_UINT32{identity.Id}, 0u);
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    TW_IDENTITY other = app;
    other.Id = 99;
    TW_STATUS status{kSentinel16, kSentinel16};
    EXPECT_EQ(DS_Entry(&other, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS)
        << "after MSG_CLOSEDS another application is welcome";
}

// Every triplet that needs a structure refuses a pointer that reaches no
// memory, in a state where it would otherwise be accepted.
TEST_F(DispatchTest, UnusableDataIsRefusedWithBadValue) {
    struct Case {
        TW_UINT16 dat;
        TW_UINT16 msg;
        TW_INT32 state;
        const char* what;
    };
    const Case cases[] = {
        {DAT_IDENTITY, MSG_GET, 300, "MSG_GET DAT_IDENTITY"},
        {DAT_IDENTITY, MSG_OPENDS, 300, "MSG_OPENDS DAT_IDENTITY"},
        {DAT_STATUS, MSG_GET, 400, "MSG_GET DAT_STATUS"},
        {DAT_CAPABILITY, MSG_GET, 400, "MSG_GET DAT_CAPABILITY"},
        {DAT_USERINTERFACE, MSG_ENABLEDS, 400, "MSG_ENABLEDS DAT_USERINTERFACE"},
        {DAT_USERINTERFACE, MSG_DISABLEDS, 500, "MSG_DISABLEDS DAT_USERINTERFACE"},
        {DAT_PENDINGXFERS, MSG_GET, 400, "MSG_GET DAT_PENDINGXFERS"},
        {DAT_PENDINGXFERS, MSG_ENDXFER, 600, "MSG_ENDXFER DAT_PENDINGXFERS"},
        {DAT_PENDINGXFERS, MSG_RESET, 600, "MSG_RESET DAT_PENDINGXFERS"},
        {DAT_SETUPMEMXFER, MSG_GET, 400, "MSG_GET DAT_SETUPMEMXFER"},
        {DAT_SETUPFILEXFER, MSG_GET, 400, "MSG_GET DAT_SETUPFILEXFER"},
        {DAT_SETUPFILEXFER, MSG_SET, 400, "MSG_SET DAT_SETUPFILEXFER"},
        {DAT_XFERGROUP, MSG_GET, 400, "MSG_GET DAT_XFERGROUP"},
        {DAT_XFERGROUP, MSG_RESET, 400, "MSG_RESET DAT_XFERGROUP"},
    };
    for (void* bad : {static_cast<void*>(nullptr), reinterpret_cast<void*>(std::uintptr_t{0x10})}) {
        for (const Case& c : cases) {
            if (sourceState != 300) Close();
            if (c.state >= 400) {
                ASSERT_EQ(Open(), TWRC_SUCCESS) << c.what;
            }
            if (c.state >= 500) {
                ASSERT_EQ(Enable(true), TWRC_SUCCESS) << c.what;
            }
            if (c.state >= 600) sourceState = 600;
            Notifications().clear();
            conditionCode = TWCC_SUCCESS;
            EXPECT_EQ(Control(c.dat, c.msg, bad), TWRC_FAILURE) << c.what << " with data " << bad;
            EXPECT_EQ(conditionCode, TWCC_BADVALUE) << c.what << " with data " << bad;
            EXPECT_EQ(sourceState, c.state) << c.what << ": state kept";
            EXPECT_TRUE(Notifications().empty()) << c.what << ": nothing notified";
        }
    }
}

TEST(ConditionTextTest, EveryCodeHasItsText) {
    struct Case {
        TW_UINT16 code;
        const char* text;
    };
    const Case cases[] = {
        {TWCC_SUCCESS, "Success message from detailed error request ??"},
        {TWCC_BUMMER, "Bummer error."},
        {TWCC_LOWMEMORY, "Low Memory Condition encountered, free up some memory and try again."},
        {TWCC_NODS, "No Data Source found error."},
        {TWCC_MAXCONNECTIONS, "Source is connected to max possible apps."},
        {TWCC_OPERATIONERROR, "An operation error just occurred."},
        {TWCC_BADCAP, "Bad capabilities error."},
        {7, "Unknown Error value in condition code."},
        {8, "Unknown Error value in condition code."},
        {TWCC_BADPROTOCOL, "Bad protocol error."},
        {TWCC_BADVALUE, "Bad value error."},
        {TWCC_SEQERROR, "DG DAT MSG is out of expected sequence."},
        {12, "Unknown Error value in condition code."},
        {0xFFFF, "Unknown Error value in condition code."},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(ConditionText(c.code), c.text) << "code " << c.code;
        FailureText("General failure in response to DAT_SETUPMEMXFER, not supported.  ", c.code);
        EXPECT_EQ(std::string(LastFailureText()),
                  std::string("General failure in response to DAT_SETUPMEMXFER, not supported.  ") + c.text)
            << "longest prefix with code " << c.code << " is kept whole";
    }
}

// The text each refusal composes, or that it composes none.
TEST_F(DispatchTest, RefusalsComposeTheirOwnText) {
    const std::string none = "(no text composed)";
    struct Case {
        TW_INT32 state;
        TW_UINT16 dat;
        TW_UINT16 msg;
        std::string text;
    };
    const std::string seq = "DG DAT MSG is out of expected sequence.";
    const std::string protocol = "Bad protocol error.";
    const Case cases[] = {
        {400, DAT_IDENTITY, MSG_OPENDS, "General failure in response to MSG_OPENDS.  " + seq},
        {300, DAT_IDENTITY, MSG_CLOSEDS, "General failure in response to MSG_CLOSEDS.  " + seq},
        {300, DAT_IDENTITY, MSG_SET, "General failure in response to DAT_IDENTITY.  " + protocol},
        {500, DAT_USERINTERFACE, MSG_ENABLEDS, "General failure in response to MSG_ENABLEDS.  " + seq},
        {400, DAT_USERINTERFACE, MSG_DISABLEDS, "General failure in response to MSG_DISABLEDS.  " + seq},
        {300, DAT_USERINTERFACE, MSG_ENABLEDS, none},
        {400, DAT_USERINTERFACE, MSG_GET, "General failure in response to DAT_USERINTERFACE.  " + protocol},
        {300, DAT_STATUS, MSG_SET, "General failure in response to DAT_STATUS.  " + protocol},
        {300, DAT_PENDINGXFERS, MSG_GET, "General failure in response to DAT_PENDINGXFER.  " + seq},
        {500, DAT_PENDINGXFERS, MSG_RESET, "General failure in response to DAT_PENDINGXFER.  " + seq},
        {400, DAT_PENDINGXFERS, MSG_SET, "General failure in response to DAT_PENDINGXFER.  " + protocol},
        {500, DAT_PENDINGXFERS, MSG_ENDXFER, none},
        {300, DAT_SETUPMEMXFER, MSG_GET, "General failure in response to DAT_SETUPMEMXFER, not supported.  " + seq},
        {400, DAT_SETUPMEMXFER, MSG_GETCURRENT,
         "General failure in response to DAT_SETUPMEMXFER, not supported.  " + protocol},
        {300, DAT_SETUPFILEXFER, MSG_GET, "General failure in response to DAT_SETUPFILEXFER, not supported.  " + seq},
        {400, DAT_SETUPFILEXFER, MSG_SET, none},
        {400, DAT_SETUPFILEXFER, MSG_RESET,
         "General failure in response to DAT_SETUPFILEXFER, not supported.  " + protocol},
        {300, DAT_XFERGROUP, MSG_GET, "General failure in response to DAT_XFERGROUP, not supported.  " + seq},
        {400, DAT_XFERGROUP, MSG_GETNEXT, "General failure in response to DAT_XFERGROUP, not supported.  " + protocol},
    };
    for (const Case& c : cases) {
        if (sourceState != 300) Close();
        if (c.state >= 400) {
            ASSERT_EQ(Open(), TWRC_SUCCESS);
        }
        if (c.state >= 500) {
            ASSERT_EQ(Enable(true), TWRC_SUCCESS);
        }
        FailureText(none.c_str(), 0);
        const std::string before = LastFailureText();
        std::uint32_t data[80] = {};
        EXPECT_EQ(Control(c.dat, c.msg, data), TWRC_FAILURE) << "dat " << c.dat << " msg " << c.msg;
        const std::string expected = c.text == none ? before : c.text;
        EXPECT_EQ(std::string(LastFailureText()), expected) << "dat " << c.dat << " msg " << c.msg;
    }
}

}  // namespace
