// The source under a TWAIN 2 manager, natively: DAT_ENTRYPOINT is checked
// and kept, notifications then go through the manager's DSM_Entry and the
// blocks handed to the application come from its memory functions, until
// MSG_CLOSEDS. A manager's bad entry points are refused, never called.
#include "source_fixture.h"

using namespace source_test;

namespace {

struct FakeManager {
    std::vector<TW_UINT16> notifications;
    int allocations = 0;
    int frees = 0;
};
FakeManager fake;

TW_UINT16 TW_CALLINGSTYLE FakeDsmEntry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                                       TW_UINT16 msg, TW_MEMREF data) {
    EXPECT_EQ(origin->Id, kSourceId) << "from the source";
    EXPECT_EQ(destination->Id, kAppId) << "to the application";
    EXPECT_EQ(dg, DG_CONTROL);
    EXPECT_EQ(dat, DAT_NULL);
    EXPECT_EQ(data, nullptr);
    fake.notifications.push_back(msg);
    return TWRC_SUCCESS;
}
TW_HANDLE TW_CALLINGSTYLE FakeAllocate(TW_UINT32 size) {
    ++fake.allocations;
    return platform::GlobalAllocate(platform::kGmemShareable, size);
}
void TW_CALLINGSTYLE FakeFree(TW_HANDLE handle) {
    ++fake.frees;
    platform::GlobalFreeBlock(handle);
}
TW_MEMREF TW_CALLINGSTYLE FakeLock(TW_HANDLE handle) { return platform::GlobalLockBlock(handle); }
void TW_CALLINGSTYLE FakeUnlock(TW_HANDLE handle) { platform::GlobalUnlockBlock(handle); }

class ManagerServicesTest : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        fake = FakeManager{};
        // Notifications take the real road, not the fixture's recorder.
        SetNotificationHookForTesting(nullptr);
    }
    TW_UINT16 GiveEntryPoints(TW_ENTRYPOINT* entry) { return Control(DAT_ENTRYPOINT, MSG_SET, entry); }
    // MSG_GET of a capability; the block is freed as the application frees it.
    void GetAndFree(TW_UINT16 id) {
        TW_CAPABILITY cap{id, 0, nullptr};
        ASSERT_EQ(Control(DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS) << "MSG_GET cap " << id;
        FakeFree(cap.hContainer);
    }
    TW_ENTRYPOINT entry{sizeof(TW_ENTRYPOINT), FakeDsmEntry, FakeAllocate, FakeFree, FakeLock, FakeUnlock};
};

TEST_F(ManagerServicesTest, NotificationsAndBlocksGoThroughTheManagerUntilClosing) {
    ASSERT_EQ(GiveEntryPoints(&entry), TWRC_SUCCESS) << "DAT_ENTRYPOINT in state 3";
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    GetAndFree(ICAP_PIXELTYPE);
    GetAndFree(CAP_SUPPORTEDCAPS);
    EXPECT_EQ(fake.allocations, 2) << "the containers";

    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    EXPECT_EQ(fake.notifications, std::vector<TW_UINT16>{MSG_XFERREADY}) << "through the manager's DSM_Entry";
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    EXPECT_EQ(fake.allocations, 3) << "the native DIB";
    FakeFree(dib);
    ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
    EXPECT_EQ(fake.notifications, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
    EXPECT_EQ(Notifications().size(), 0u) << "nothing looked up elsewhere";

    ASSERT_EQ(Disable(false), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    TW_CAPABILITY cap{ICAP_PIXELTYPE, 0, nullptr};
    ASSERT_EQ(Control(DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
    platform::GlobalFreeBlock(cap.hContainer);
    EXPECT_EQ(fake.allocations, 3) << "forgotten at MSG_CLOSEDS: global memory again";
}

TEST_F(ManagerServicesTest, BadEntryPointsAreRefusedAndNeverCalled) {
    struct Case {
        const char* name;
        TW_UINT32 size;
        bool nullEntry;
        bool nullAllocate;
        bool lockIntoHeap;
    };
    std::vector<std::uint8_t> heap(64, 0xCC);
    const Case cases[] = {
        {"Size 0", 0, false, false, false},
        {"Size one pointer short", sizeof(TW_ENTRYPOINT) - sizeof(void*), false, false, false},
        {"no DSM_Entry", sizeof(TW_ENTRYPOINT), true, false, false},
        {"no DSM_MemAllocate", sizeof(TW_ENTRYPOINT), false, true, false},
        {"DSM_MemLock into the heap", sizeof(TW_ENTRYPOINT), false, false, true},
    };
    for (const Case& c : cases) {
        TW_ENTRYPOINT bad = entry;
        bad.Size = c.size;
        if (c.nullEntry) bad.DSM_Entry = nullptr;
        if (c.nullAllocate) bad.DSM_MemAllocate = nullptr;
        if (c.lockIntoHeap) bad.DSM_MemLock = reinterpret_cast<DSM_MEMLOCK>(heap.data());
        EXPECT_EQ(GiveEntryPoints(&bad), TWRC_FAILURE) << c.name;
        EXPECT_EQ(Status(), TWCC_BADVALUE) << c.name;
    }
    EXPECT_EQ(GiveEntryPoints(nullptr), TWRC_FAILURE) << "null TW_ENTRYPOINT";
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(Control(DAT_ENTRYPOINT, MSG_GET, &entry), TWRC_FAILURE) << "MSG_GET DAT_ENTRYPOINT";
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL);

    ASSERT_EQ(Open(), TWRC_SUCCESS);
    GetAndFree(ICAP_UNITS);
    EXPECT_EQ(fake.allocations, 0) << "nothing kept from the refused ones";
    fake.frees = 0;
    ASSERT_EQ(GiveEntryPoints(&entry), TWRC_SUCCESS) << "DAT_ENTRYPOINT in state 4";
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(GiveEntryPoints(&entry), TWRC_FAILURE) << "DAT_ENTRYPOINT in state 5";
    EXPECT_EQ(Status(), TWCC_SEQERROR);
}

TEST_F(ManagerServicesTest, IdentityIsAnsweredToAManagerWithoutOrigin) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    TW_IDENTITY identity{};
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS)
        << "MSG_GET DAT_IDENTITY, no origin, while an application is connected";
    EXPECT_EQ(TW_UINT32{identity.Id}, kSourceId);
    EXPECT_EQ(TW_UINT32{identity.SupportedGroups} & DF_DS2, DF_DS2);
    TW_STATUS status{};
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE)
        << "anything else stays the connected application's";
}

}  // namespace
