// A feeder batch with blank sheets among written ones, through the real
// source under Wine: with ICAP_AUTODISCARDBLANKPAGES TWBP_AUTO the
// application gets only the written sheets, each with its sheet's number
// (DAT_EXTIMAGEINFO), and Count at every MSG_ENDXFER counts what is still
// to come. The application's TW_EXTIMAGEINFO is believed only as far as
// its memory reaches.
//
// Suite BlankPages: VOREL_SIM_FEEDER=loaded, VOREL_SIM_SHEETS=8 and
// VOREL_SIM_SHEET_CONTENT=page,page,blank,line,blank,page,blank,page.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "source_harness.h"

namespace {

constexpr TW_UINT16 kBlankSheetsBefore = 0x8001;

struct SheetInfo {
    TW_UINT16 rc = 0;
    TW_UINTPTR page = 0;
    TW_UINTPTR blanks = 0;
    TW_UINT16 unknownCode = 0;
    TW_FRAME frame{};
};

// Asks for the page number, the blank sheets before it, an item no source
// of this kind has, and the frame, whose block it frees.
SheetInfo AskInfo(SourceHarness& harness) {
    std::vector<unsigned char> request(4 + 4 * sizeof(TW_INFO), 0);
    const TW_UINT32 count = 4;
    std::memcpy(request.data(), &count, 4);
    const TW_UINT16 ids[4] = {TWEI_PAGENUMBER, kBlankSheetsBefore, 0x1200, TWEI_FRAME};
    for (int i = 0; i < 4; ++i) std::memcpy(request.data() + 4 + i * sizeof(TW_INFO), &ids[i], 2);
    SheetInfo info;
    info.rc = harness.Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, request.data());
    TW_INFO items[4];
    std::memcpy(items, request.data() + 4, sizeof items);
    info.page = items[0].Item;
    info.blanks = items[1].Item;
    info.unknownCode = items[2].ReturnCode;
    if (items[3].ReturnCode == TWRC_SUCCESS && items[3].Item != 0) {
        const auto block = reinterpret_cast<HGLOBAL>(items[3].Item);
        if (const void* frame = ::GlobalLock(block)) {
            std::memcpy(&info.frame, frame, sizeof info.frame);
            ::GlobalUnlock(block);
        }
        EXPECT_EQ(::GlobalFree(block), nullptr) << "the frame's block is the application's to free";
    }
    return info;
}

// One image by `mechanism`; false when the transfer failed.
bool Transfer(SourceHarness& harness, TW_UINT16 mechanism) {
    if (mechanism == TWSX_NATIVE) {
        TW_HANDLE dib = nullptr;
        if (harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib) != TWRC_XFERDONE) return false;
        ::GlobalFree(dib);
        return true;
    }
    TW_SETUPMEMXFER setup{};
    if (harness.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) return false;
    std::vector<unsigned char> buffer(setup.Preferred);
    for (int strips = 0; strips < 100000; ++strips) {
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, setup.Preferred, buffer.data()};
        const TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        if (rc == TWRC_XFERDONE) return true;
        if (rc != TWRC_SUCCESS) return false;
    }
    return false;
}

}  // namespace

TEST(BlankPages, FeederBatchGivesOnlyTheWrittenSheets) {
    const TW_UINTPTR pages[] = {1, 2, 4, 6, 8};
    const TW_UINTPTR blanks[] = {0, 0, 1, 1, 1};
    for (const TW_UINT16 mechanism : {TWSX_NATIVE, TWSX_MEMORY}) {
        SCOPED_TRACE(mechanism == TWSX_NATIVE ? "native" : "memory");
        SourceHarness harness;
        ASSERT_TRUE(harness.Loaded());
        ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_AUTODISCARDBLANKPAGES, TWTY_INT32, static_cast<TW_UINT32>(TWBP_AUTO)),
                  TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
        ClearNotifications();
        ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
        for (std::size_t i = 0; i < 5; ++i) {
            ASSERT_TRUE(Transfer(harness, mechanism)) << "image " << i << ", cc " << harness.Status();
            const SheetInfo info = AskInfo(harness);
            ASSERT_EQ(info.rc, TWRC_SUCCESS) << "DAT_EXTIMAGEINFO MSG_GET, image " << i;
            EXPECT_EQ(info.page, pages[i]) << "TWEI_PAGENUMBER of image " << i;
            EXPECT_EQ(info.blanks, blanks[i]) << "blank sheets before image " << i;
            EXPECT_EQ(info.unknownCode, TWRC_INFONOTSUPPORTED) << "a bar code, image " << i;
            EXPECT_EQ(info.frame.Right.Whole, 8) << "the frame, in inches: the bed's 8.5";
            EXPECT_EQ(info.frame.Right.Frac, 0x8000);
            TW_PENDINGXFERS pending{};
            ASSERT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
            EXPECT_EQ(pending.Count, i < 4 ? 0xFFFF : 0) << "MSG_ENDXFER after image " << i;
        }
        int ready = 0, closeRequests = 0;
        for (const RecordedNotification& n : Notifications()) {
            ready += n.msg == MSG_XFERREADY;
            closeRequests += n.msg == MSG_CLOSEDSREQ;
        }
        EXPECT_EQ(ready, 1);
        EXPECT_EQ(closeRequests, 1);
        EXPECT_EQ(harness.Disable(), TWRC_SUCCESS);
        EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
    }
}

// A TW_EXTIMAGEINFO at the end of the application's memory that claims
// more items than the memory holds is refused, and nothing is written.
TEST(BlankPages, ExtendedInfoIsBoundedByTheApplicationsMemory) {
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
    ASSERT_TRUE(Transfer(harness, TWSX_NATIVE));

    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    auto* memory = static_cast<unsigned char*>(::VirtualAlloc(nullptr, 2 * page, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(memory, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(::VirtualProtect(memory + page, page, PAGE_NOACCESS, &old));
    // Two items fit before the inaccessible page; the count says 1000.
    unsigned char* request = memory + page - (4 + 2 * sizeof(TW_INFO));
    const TW_UINT32 claimed = 1000;
    std::memcpy(request, &claimed, 4);
    for (int i = 0; i < 2; ++i) {
        TW_INFO info{TWEI_PAGENUMBER, 0xBEEF, 0xBEEF, 0xBEEF, 0};
        std::memcpy(request + 4 + i * sizeof(TW_INFO), &info, sizeof info);
    }
    EXPECT_EQ(harness.Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, request), TWRC_FAILURE);
    EXPECT_EQ(harness.Status(), TWCC_BADVALUE);
    TW_INFO first{};
    std::memcpy(&first, request + 4, sizeof first);
    EXPECT_EQ(first.ItemType, 0xBEEF) << "nothing written";
    // The same two items with their true count are answered.
    const TW_UINT32 two = 2;
    std::memcpy(request, &two, 4);
    EXPECT_EQ(harness.Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, request), TWRC_SUCCESS);
    std::memcpy(&first, request + 4, sizeof first);
    EXPECT_EQ(first.Item, 1u);
    ::VirtualFree(memory, 0, MEM_RELEASE);

    TW_PENDINGXFERS pending{};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(harness.Disable(), TWRC_SUCCESS);
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
}
