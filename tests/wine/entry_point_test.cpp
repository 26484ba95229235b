// DS_Entry through the real DLL: identity at load, the group and DAT
// filters, the condition code, and event processing before opening.
#include <cstring>

#include <gtest/gtest.h>

#include "source_harness.h"

TEST(EntryPoint, IdentityAtLoad) {
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    TW_IDENTITY identity;
    std::memset(&identity, 0xAB, sizeof identity);
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS) << "DAT_IDENTITY MSG_GET";
    EXPECT_EQ(identity.Id, 0u);
    EXPECT_EQ(identity.Version.MajorNum, 1);
    EXPECT_EQ(identity.Version.MinorNum, 0);
    EXPECT_EQ(identity.Version.Language, TWLG_USA);
    EXPECT_EQ(identity.Version.Country, TWCY_USA);
    EXPECT_STREQ(identity.Version.Info, "31 July 1997");
    EXPECT_EQ(identity.ProtocolMajor, 2);
    EXPECT_EQ(identity.ProtocolMinor, 4);
    EXPECT_EQ(identity.SupportedGroups, DG_CONTROL | DG_IMAGE | DF_DS2);
    EXPECT_STREQ(identity.Manufacturer, "Pellam & Kestrane Company");
    EXPECT_STREQ(identity.ProductFamily, "TWAIN");
    EXPECT_STREQ(identity.ProductName, "Vorel Source");
}

TEST(EntryPoint, UnknownGroupsFailWithoutTouchingTheConditionCode) {
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    // Leave TWCC_BADPROTOCOL behind, then try groups that have no table.
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_NULL, MSG_GET, nullptr), TWRC_FAILURE);
    TW_STATUS status{};
    EXPECT_EQ(harness.Call(3, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE) << "DG 3";
    EXPECT_EQ(harness.Call(0x10001, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE) << "DG 0x10001 is not DG_CONTROL";
    EXPECT_EQ(harness.Status(), TWCC_BADPROTOCOL) << "the code from before the unknown groups";
    EXPECT_EQ(harness.Status(), TWCC_SUCCESS) << "reported once";
}

TEST(EntryPoint, TripletsWithoutHandlerAreBadProtocolReportedOnce) {
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    struct Case {
        TW_UINT16 dat, msg;
        const char* name;
    } cases[] = {
        {DAT_NULL, MSG_GET, "DAT_NULL"},
        {DAT_EVENT, MSG_GET, "DAT_EVENT MSG_GET"},
        {DAT_PARENT, MSG_OPENDSM, "DAT_PARENT"},
    };
    for (const Case& c : cases) {
        TW_EVENT event{};
        EXPECT_EQ(harness.Call(DG_CONTROL, c.dat, c.msg, &event), TWRC_FAILURE) << c.name;
        EXPECT_EQ(harness.Status(), TWCC_BADPROTOCOL) << c.name;
        EXPECT_EQ(harness.Status(), TWCC_SUCCESS) << c.name << ": reported once";
    }
}

TEST(EntryPoint, ProcessEventBeforeOpeningIsNotADsEvent) {
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    MSG message{};
    message.message = WM_KEYDOWN;
    message.wParam = VK_TAB;
    TW_EVENT event{&message, 0x1234};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(event.TWMessage, 0x1234) << "TWMessage left as the caller set it";
    // Any group and DAT: the message alone makes it event processing.
    EXPECT_EQ(harness.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, nullptr), TWRC_NOTDSEVENT) << "null event";
    EXPECT_EQ(harness.Status(), TWCC_SUCCESS) << "event processing sets no condition code";
}

TEST(EntryPoint, NullOrBadPointersAreRefusedNotFollowed) {
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, nullptr), TWRC_FAILURE) << "identity into null";
    EXPECT_EQ(harness.Status(), TWCC_BADVALUE);
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, reinterpret_cast<void*>(0x10)), TWRC_FAILURE)
        << "identity into an unmapped address";
    EXPECT_EQ(harness.Status(), TWCC_BADVALUE);
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE) << "status into null";
}
