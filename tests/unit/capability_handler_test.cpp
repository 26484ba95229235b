// DG_CONTROL / DAT_CAPABILITY as an application meets it: return codes and
// the condition code left behind, CAP_SUPPORTEDCAPS for every message, the
// messages that write nothing, the feeder refresh, and requests the handler
// must refuse rather than follow. The native tests run without a dialog, so
// the feeder reads as absent, except in the one test that opens a dialog
// over a scanner that answers only the feeder inquiries.
#include <gtest/gtest.h>

#include "capabilities/capability_table.h"
#include "capability_test_blocks.h"
#include "device/scanner_library.h"
#include "module/source_app.h"
#include "platform/global_memory.h"
#include "platform/message_box.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"

using namespace capability_test;

namespace {

// CAP_SUPPORTEDCAPS: a TW_ARRAY of TWTY_UINT16, every record in table order,
// then CAP_SUPPORTEDCAPS, CAP_SUPPORTEDDATS and ICAP_SUPPORTEDEXTIMAGEINFO.
Bytes SupportedCaps() {
    ByteWriter w;
    w.u16(TWTY_UINT16).u32(kCapabilityCount + 3);
    for (const CapabilityInit& row : CapabilityInitTable) w.u16(row.id);
    w.u16(CAP_SUPPORTEDCAPS).u16(CAP_SUPPORTEDDATS).u16(ICAP_SUPPORTEDEXTIMAGEINFO);
    return w.bytes;
}

class CapabilityHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        capabilityTable.Build();
        blocksBefore = platform::GlobalBlocksOutstanding();
    }
    void TearDown() override {
        platform::FailGlobalAllocationsAfter(-1);
        capabilityTable.Clear();
        EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksBefore) << "every block freed";
    }

    TW_UINT16 Call(TW_UINT16 msg, TW_CAPABILITY* cap) {
        TripletRequest request{nullptr, DG_CONTROL, DAT_CAPABILITY, msg, cap};
        return CapabilityHandler(&request);
    }

    long blocksBefore = 0;
};

TEST_F(CapabilityHandlerTest, SupportedCapsAnswersEveryMessage) {
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_GETFIRST, MSG_GETNEXT, MSG_SET, MSG_RESET,
                          TW_UINT16{0x7777}}) {
        conditionCode = TWCC_BUMMER;
        TW_CAPABILITY cap{CAP_SUPPORTEDCAPS, TWON_ONEVALUE, nullptr};
        EXPECT_EQ(Call(msg, &cap), TWRC_SUCCESS) << "CAP_SUPPORTEDCAPS msg " << msg;
        EXPECT_EQ(conditionCode, TWCC_SUCCESS) << "cleared at the start, msg " << msg;
        EXPECT_EQ(cap.ConType, TWON_ARRAY) << "msg " << msg;
        EXPECT_EQ(TakeBlock(cap.hContainer), SupportedCaps()) << "msg " << msg;
    }
}

TEST_F(CapabilityHandlerTest, SupportedCapsWithoutMemory) {
    TW_CAPABILITY cap{CAP_SUPPORTEDCAPS, 0, Sentinel()};
    platform::FailGlobalAllocationsAfter(0);
    EXPECT_EQ(Call(MSG_GET, &cap), TWRC_FAILURE) << "MSG_GET CAP_SUPPORTEDCAPS, no memory";
    EXPECT_EQ(conditionCode, TWCC_LOWMEMORY);
    EXPECT_EQ(HandleOf(cap), nullptr);
}

TEST_F(CapabilityHandlerTest, MessagesThatWriteNothingLeaveTheContainerAlone) {
    for (TW_UINT16 msg : {MSG_GETFIRST, MSG_GETNEXT, TW_UINT16{0x7777}}) {
        TW_CAPABILITY cap{ICAP_PIXELTYPE, 0x1234, Sentinel()};
        EXPECT_EQ(Call(msg, &cap), TWRC_SUCCESS) << "ICAP_PIXELTYPE msg " << msg;
        EXPECT_EQ(HandleOf(cap), Sentinel()) << "hContainer untouched, msg " << msg;
        EXPECT_EQ(cap.ConType, 0x1234) << "ConType untouched, msg " << msg;
    }
}

// MSG_RESET answers the value it reset to, as MSG_GETCURRENT would: the
// application's handle is replaced by a new block, never written into.
TEST_F(CapabilityHandlerTest, ResetAnswersTheInitialValue) {
    capabilityTable.Find(ICAP_UNITS).current = TWUN_INCHES;
    TW_CAPABILITY cap{ICAP_UNITS, 0, Sentinel()};
    ASSERT_EQ(Call(MSG_RESET, &cap), TWRC_SUCCESS) << "MSG_RESET ICAP_UNITS";
    EXPECT_EQ(cap.ConType, TWON_ONEVALUE);
    EXPECT_EQ(TakeBlock(cap.hContainer), OneValue(TWTY_UINT16, TWUN_PIXELS)) << "the reset value answered";
    ASSERT_EQ(Call(MSG_GETCURRENT, &cap), TWRC_SUCCESS) << "MSG_GETCURRENT ICAP_UNITS";
    EXPECT_EQ(cap.ConType, TWON_ONEVALUE);
    EXPECT_EQ(TakeBlock(cap.hContainer), OneValue(TWTY_UINT16, TWUN_PIXELS)) << "TWUN_PIXELS after reset";
}

TEST_F(CapabilityHandlerTest, EachGetMessageReachesTheRecord) {
    struct Case {
        TW_UINT16 msg;
        TW_UINT16 conType;
        Bytes bytes;
    };
    capabilityTable.Find(ICAP_XRESOLUTION).current = 300;
    const Case cases[] = {
        {MSG_GET, TWON_RANGE, Range(TWTY_FIX32, 12, 2400, 1, 150, 300)},
        {MSG_GETCURRENT, TWON_ONEVALUE, OneValue(TWTY_FIX32, 300)},
        {MSG_GETDEFAULT, TWON_ONEVALUE, OneValue(TWTY_FIX32, 150)},
        {MSG_QUERYSUPPORT, TWON_ONEVALUE, OneValue(TWTY_INT32, 0x1F)},
    };
    for (const Case& c : cases) {
        TW_CAPABILITY cap{ICAP_XRESOLUTION, 0, nullptr};
        ASSERT_EQ(Call(c.msg, &cap), TWRC_SUCCESS) << "ICAP_XRESOLUTION msg " << c.msg;
        EXPECT_EQ(cap.ConType, c.conType) << "msg " << c.msg;
        EXPECT_EQ(TakeBlock(cap.hContainer), c.bytes) << "msg " << c.msg;
    }
}

TEST_F(CapabilityHandlerTest, SetReportsItsConditionCode) {
    struct Case {
        const char* name;
        TW_UINT16 id;
        TW_UINT16 conType;
        Bytes bytes;
        TW_UINT16 rc;
        TW_UINT16 cc;
    };
    const Case cases[] = {
        {"CAP_XFERCOUNT 3", CAP_XFERCOUNT, TWON_ONEVALUE, OneValue(TWTY_INT16, 3), TWRC_SUCCESS, TWCC_SUCCESS},
        {"CAP_XFERCOUNT -2", CAP_XFERCOUNT, TWON_ONEVALUE, OneValue(TWTY_INT16, 0xFFFFFFFE), TWRC_FAILURE,
         TWCC_BADVALUE},
        {"ICAP_UNITS as array", ICAP_UNITS, TWON_ARRAY, OneValue(TWTY_UINT16, 0), TWRC_FAILURE, TWCC_BADPROTOCOL},
        {"ICAP_UNITS short range", ICAP_UNITS, TWON_RANGE, Bytes(21, 0), TWRC_FAILURE, TWCC_BADVALUE},
    };
    for (const Case& c : cases) {
        TW_CAPABILITY cap{c.id, c.conType, AppBlock(c.bytes)};
        TW_HANDLE appBlock = cap.hContainer;
        EXPECT_EQ(Call(MSG_SET, &cap), c.rc) << "MSG_SET " << c.name;
        EXPECT_EQ(conditionCode, c.cc) << "MSG_SET " << c.name;
        EXPECT_EQ(HandleOf(cap), appBlock) << "MSG_SET answers no container, " << c.name;
        platform::GlobalFreeBlock(appBlock);
    }
    EXPECT_EQ(capabilityTable.Slot(0).current, 3) << "CAP_XFERCOUNT after MSG_SET 3";

    TW_CAPABILITY cap{ICAP_UNITS, TWON_ONEVALUE, nullptr};
    EXPECT_EQ(Call(MSG_SET, &cap), TWRC_FAILURE) << "MSG_SET with null hContainer";
    EXPECT_EQ(conditionCode, TWCC_LOWMEMORY);
}

// The feeder's switch is the scanner's: its state is the only value
// CAP_FEEDERENABLED takes, read anew for every message (without a dialog
// there is no feeder now, whatever opening seeded).
TEST_F(CapabilityHandlerTest, FeederCapabilitiesFollowTheScanner) {
    capabilityTable.Find(CAP_FEEDERENABLED).current = 1;
    capabilityTable.Find(CAP_FEEDERLOADED).current = 1;
    for (TW_UINT16 id : {CAP_FEEDERENABLED, CAP_FEEDERLOADED}) {
        for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET}) {
            TW_CAPABILITY cap{id, 0, Sentinel()};
            EXPECT_EQ(Call(msg, &cap), TWRC_SUCCESS) << "cap " << id << " msg " << msg;
            EXPECT_EQ(cap.ConType, TWON_ONEVALUE);
            EXPECT_EQ(TakeBlock(cap.hContainer), OneValue(TWTY_BOOL, 0)) << "refreshed, cap " << id << " msg " << msg;
        }
        EXPECT_EQ(capabilityTable.Find(id).current, 0) << "cap " << id;
    }
    struct Case {
        TW_UINT32 value;
        TW_UINT16 rc;
        TW_UINT16 cc;
    };
    for (const Case& c : {Case{0, TWRC_SUCCESS, TWCC_SUCCESS}, Case{1, TWRC_FAILURE, TWCC_BADVALUE}}) {
        platform::GlobalHandle appBlock = AppBlock(OneValue(TWTY_BOOL, c.value));
        TW_CAPABILITY cap{CAP_FEEDERENABLED, TWON_ONEVALUE, appBlock};
        EXPECT_EQ(Call(MSG_SET, &cap), c.rc) << "MSG_SET CAP_FEEDERENABLED " << c.value;
        EXPECT_EQ(conditionCode, c.cc) << "MSG_SET CAP_FEEDERENABLED " << c.value;
        EXPECT_EQ(HandleOf(cap), appBlock) << "MSG_SET answers no container";
        platform::GlobalFreeBlock(appBlock);
    }
    EXPECT_EQ(capabilityTable.Find(CAP_FEEDERENABLED).current, 0);
}

TEST_F(CapabilityHandlerTest, UnknownCapabilityIsBadCap) {
    for (TW_UINT16 msg : {MSG_GET, MSG_SET, MSG_GETFIRST}) {
        TW_CAPABILITY cap{0x1234, 0x5678, Sentinel()};
        EXPECT_EQ(Call(msg, &cap), TWRC_FAILURE) << "cap 0x1234 msg " << msg;
        EXPECT_EQ(conditionCode, TWCC_BADCAP) << "cap 0x1234 msg " << msg;
        EXPECT_EQ(HandleOf(cap), Sentinel()) << "nothing allocated";
        EXPECT_EQ(cap.ConType, 0x5678);
    }
}

TEST_F(CapabilityHandlerTest, CompressionIsAnswered) {
    TW_CAPABILITY cap{ICAP_COMPRESSION, 0, nullptr};
    EXPECT_EQ(Call(MSG_GETCURRENT, &cap), TWRC_SUCCESS) << "MSG_GETCURRENT ICAP_COMPRESSION";
    EXPECT_EQ(TakeBlock(cap.hContainer), OneValue(TWTY_UINT16, TWCP_NONE));
}

TEST_F(CapabilityHandlerTest, GetWithoutMemoryIsLowMemory) {
    TW_CAPABILITY cap{ICAP_PIXELTYPE, 0, Sentinel()};
    platform::FailGlobalAllocationsAfter(0);
    EXPECT_EQ(Call(MSG_GET, &cap), TWRC_FAILURE) << "MSG_GET ICAP_PIXELTYPE, no memory";
    EXPECT_EQ(conditionCode, TWCC_LOWMEMORY);
    EXPECT_EQ(HandleOf(cap), nullptr);
    EXPECT_EQ(cap.ConType, TWON_ENUMERATION);
}

TEST_F(CapabilityHandlerTest, NullCapabilityIsBadValue) {
    EXPECT_EQ(Call(MSG_GET, nullptr), TWRC_FAILURE) << "MSG_GET, data null";
    EXPECT_EQ(conditionCode, TWCC_BADVALUE);
    EXPECT_EQ(Call(MSG_SET, reinterpret_cast<TW_CAPABILITY*>(std::uintptr_t{0x20})), TWRC_FAILURE)
        << "MSG_SET, data in the lowest page";
    EXPECT_EQ(conditionCode, TWCC_BADVALUE);
}

TEST_F(CapabilityHandlerTest, WithoutATableEveryRequestIsOutOfSequence) {
    capabilityTable.Clear();
    for (TW_UINT16 id : {ICAP_PIXELTYPE, CAP_SUPPORTEDCAPS, TW_UINT16{0x1234}}) {
        TW_CAPABILITY cap{id, 0x5678, Sentinel()};
        EXPECT_EQ(Call(MSG_GET, &cap), TWRC_FAILURE) << "MSG_GET cap " << id << " in state 300";
        EXPECT_EQ(conditionCode, TWCC_SEQERROR) << "cap " << id;
        EXPECT_EQ(HandleOf(cap), Sentinel()) << "cap " << id;
    }
}

// A scanner that cannot be opened but reports a feeder: the two inquiries
// the feeder capabilities ask are answered from these flags.
std::int16_t feederEnabled = 0;
std::int16_t feederLoaded = 0;

std::int16_t VOREL_API NoOpen(std::uint16_t, std::int16_t) { return -1; }
std::int16_t VOREL_API NoBlock(std::int16_t, void*) { return 1; }
std::int16_t VOREL_API NoGeometry(ScanGeometry* geometry) {
    *geometry = ScanGeometry{};
    return 1;
}
std::int16_t VOREL_API NoReset() { return 1; }
std::int16_t VOREL_API NoRead(std::int16_t, void*, std::int32_t, std::int32_t* got) {
    *got = 0;
    return 1;
}
std::int16_t VOREL_API NoPair(std::int16_t, std::int16_t) { return 1; }
std::int16_t VOREL_API NoWindow(std::uint16_t*, std::int16_t) { return 1; }
std::int16_t VOREL_API NoUpload(std::int16_t, void*, std::int16_t, std::int16_t* length) {
    *length = 0;
    return 1;
}
std::int16_t VOREL_API FeederInquiry(std::int16_t code, std::int16_t, std::int16_t* value) {
    *value = code == 43 ? feederEnabled : code == 44 ? feederLoaded : 0;
    return 0;
}
std::int16_t VOREL_API NoError() { return 1; }

const ScannerLibrary kFeederScanner = {NoOpen,   NoBlock, NoGeometry, NoReset, NoRead,        NoPair,
                                       NoPair,   NoWindow, NoUpload,  FeederInquiry, NoError, NoPair};

TEST(CapabilityHandlerFeederTest, FeederIsReadFromTheDialogOnEveryMessage) {
    SetScannerLibraryForTesting(&kFeederScanner);
    platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return 1; });
    capabilityTable.Build();
    ASSERT_NE(theApp.CreateSession(), nullptr);

    struct Step {
        std::int16_t enabled, loaded;
        TW_UINT16 msg;
    };
    const Step steps[] = {{1, 0, MSG_GET}, {1, 1, MSG_GETCURRENT}, {0, 0, MSG_RESET}, {1, 1, MSG_GETDEFAULT}};
    for (const Step& step : steps) {
        feederEnabled = step.enabled;
        feederLoaded = step.loaded;
        TW_CAPABILITY enabled{CAP_FEEDERENABLED, TWON_ONEVALUE, nullptr};
        TW_CAPABILITY loaded{CAP_FEEDERLOADED, TWON_ONEVALUE, nullptr};
        TripletRequest askEnabled{nullptr, DG_CONTROL, DAT_CAPABILITY, step.msg, &enabled};
        TripletRequest askLoaded{nullptr, DG_CONTROL, DAT_CAPABILITY, step.msg, &loaded};
        EXPECT_EQ(CapabilityHandler(&askEnabled), TWRC_SUCCESS) << "CAP_FEEDERENABLED msg " << step.msg;
        EXPECT_EQ(CapabilityHandler(&askLoaded), TWRC_SUCCESS) << "CAP_FEEDERLOADED msg " << step.msg;
        EXPECT_EQ(TakeBlock(enabled.hContainer), OneValue(TWTY_BOOL, step.enabled)) << "CAP_FEEDERENABLED msg " << step.msg;
        EXPECT_EQ(TakeBlock(loaded.hContainer), OneValue(TWTY_BOOL, step.loaded)) << "CAP_FEEDERLOADED msg " << step.msg;
    }
    // The switch as the scanner reports it now is the one value MSG_SET takes.
    for (std::int16_t state : {0, 1}) {
        feederEnabled = state;
        for (std::int16_t offered : {0, 1}) {
            platform::GlobalHandle offer = AppBlock(OneValue(TWTY_BOOL, offered));
            TW_CAPABILITY enabled{CAP_FEEDERENABLED, TWON_ONEVALUE, offer};
            TripletRequest set{nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &enabled};
            EXPECT_EQ(CapabilityHandler(&set), offered == state ? TWRC_SUCCESS : TWRC_FAILURE)
                << "MSG_SET CAP_FEEDERENABLED " << offered << " with the switch at " << state;
            if (offered != state) EXPECT_EQ(conditionCode, TWCC_BADVALUE);
            platform::GlobalFreeBlock(offer);
        }
    }

    theApp.ExitInstance();
    capabilityTable.Clear();
    platform::SetMessageBoxHook(nullptr);
    SetScannerLibraryForTesting(nullptr);
}

}  // namespace
