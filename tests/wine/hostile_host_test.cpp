// An application that hands the source bad pointers and bad handles, in
// every state, through the real DLL: whatever it sends, the source answers
// with a return code and never takes the process down.
#include <gtest/gtest.h>

#include "source_harness.h"

namespace {

const char kReadOnly[512] = "read-only data of the test program";

// Pointers that reach no memory; with `writes`, also memory the source may
// read but not write.
std::vector<void*> BadPointers(bool writes = true) {
    // Reserved but never committed: no page behind it.
    static void* uncommitted = ::VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
    std::vector<void*> pointers = {nullptr, reinterpret_cast<void*>(0x10), reinterpret_cast<void*>(0xDEADBEEF),
                                   uncommitted};
    if (writes) pointers.push_back(const_cast<char*>(kReadOnly));
    return pointers;
}

struct Triplet {
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    bool writes = true;  // false: the source only reads the structure
};

const Triplet kTriplets[] = {
    {DG_CONTROL, DAT_IDENTITY, MSG_GET},          {DG_CONTROL, DAT_STATUS, MSG_GET},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET},        {DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT}, {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, false},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET},      {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET},      {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, false},     {DG_CONTROL, DAT_XFERGROUP, MSG_GET},
    {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT},    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET},         {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, false},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},        {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},
    {DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET},      {DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET, false},
};

}  // namespace

TEST(HostileHost, BadDataPointersInEveryStateAreRefused) {
    SourceHarness harness;
    for (int state = 3; state <= 6; ++state) {
        if (state == 4) {
            ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
        }
        if (state == 5) {
            ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
        }
        if (state == 6) {
            ::SendMessageA(::FindWindowA(nullptr, "Vorel Scanner Source"), WM_COMMAND,
                           MAKEWPARAM(1001, BN_CLICKED), 0);
        }
        for (const Triplet& t : kTriplets) {
            for (void* bad : BadPointers(t.writes)) {
                TW_UINT16 rc = harness.Call(t.dg, t.dat, t.msg, bad);
                if (t.msg == MSG_PROCESSEVENT) {
                    EXPECT_EQ(rc, TWRC_NOTDSEVENT) << "state " << state << " event at " << bad;
                } else {
                    EXPECT_EQ(rc, TWRC_FAILURE) << "state " << state << " dat " << t.dat << " msg " << t.msg
                                                << " data " << bad;
                }
                harness.Status();
            }
        }
    }
    harness.Close();
}

TEST(HostileHost, BadContainersAndHandles) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    char stackBlock[8] = {};
    std::vector<HANDLE> handles = {reinterpret_cast<HANDLE>(0x12345678), reinterpret_cast<HANDLE>(0xDEADBEE0),
                                   reinterpret_cast<HANDLE>(stackBlock), const_cast<char*>(kReadOnly)};
    HGLOBAL freed = ::GlobalAlloc(GHND, 64);
    ::GlobalFree(freed);
    handles.push_back(freed);
    for (HANDLE handle : handles) {
        for (TW_UINT16 conType : {TWON_ONEVALUE, TWON_ENUMERATION, TWON_RANGE, TWON_ARRAY}) {
            TW_CAPABILITY capability{ICAP_PIXELTYPE, conType, handle};
            TW_UINT16 rc = harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
            EXPECT_NE(rc, TWRC_SUCCESS) << "MSG_SET with handle " << handle << " container " << conType;
        }
        TW_CUSTOMDSDATA setup{334, handle};
        EXPECT_EQ(harness.Call(DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET, &setup), TWRC_FAILURE) << "set-up " << handle;
        EXPECT_EQ(harness.Status(), TWCC_BADVALUE) << "set-up with handle " << handle;
    }
    // An enumeration claiming far more items than its block holds.
    TW_CAPABILITY capability{ICAP_PIXELTYPE, TWON_ENUMERATION, ::GlobalAlloc(GHND, 16)};
    auto* enumeration = static_cast<TW_ENUMERATION*>(::GlobalLock(capability.hContainer));
    enumeration->ItemType = TWTY_UINT32;
    enumeration->NumItems = 0x40000000;
    ::GlobalUnlock(capability.hContainer);
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability), TWRC_FAILURE);
    EXPECT_EQ(harness.Status(), TWCC_BADVALUE);
    ::GlobalFree(capability.hContainer);
    harness.Close();
}

TEST(HostileHost, BadTransferBuffers) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    void* smallBlock = ::HeapAlloc(::GetProcessHeap(), 0, 16);
    char stackBytes[16] = {};
    struct Case {
        TW_UINT32 flags;
        void* memory;
    } cases[] = {
        {TWMF_APPOWNS | TWMF_POINTER, reinterpret_cast<void*>(0xDEADBEEF)},
        {TWMF_APPOWNS | TWMF_POINTER, const_cast<char*>(kReadOnly)},
        {TWMF_APPOWNS | TWMF_POINTER, nullptr},
        {TWMF_APPOWNS | TWMF_HANDLE, reinterpret_cast<void*>(0x12345678)},
        {TWMF_APPOWNS | TWMF_HANDLE, nullptr},
        // Pointers to a few bytes, passed off as handles.
        {TWMF_APPOWNS | TWMF_HANDLE, smallBlock},
        {TWMF_APPOWNS | TWMF_HANDLE, stackBytes},
    };
    for (const Case& c : cases) {
        // Each buffer meets a fresh image: a failed strip ends the transfer,
        // and the next call would only report that end.
        ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{c.flags, 64000, c.memory};
        TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        EXPECT_NE(rc, TWRC_SUCCESS) << "buffer " << c.memory;
        EXPECT_EQ(xfer.BytesWritten, 0u) << "nothing placed in buffer " << c.memory;
        harness.Status();
        TW_PENDINGXFERS pending{};
        harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
        ASSERT_EQ(harness.Disable(), TWRC_SUCCESS);
    }
    ::HeapFree(::GetProcessHeap(), 0, smallBlock);

    // A handle whose block is shorter than the length the descriptor claims.
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
    TW_IMAGEMEMXFER xfer{};
    xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_HANDLE, 64000, ::GlobalAlloc(GHND, 5000)};
    TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
    EXPECT_EQ(rc, TWRC_SUCCESS);
    EXPECT_GT(xfer.BytesWritten, 0u);
    EXPECT_LE(xfer.BytesWritten, 5000u) << "never more than the handle's block holds";
    ::GlobalFree(xfer.Memory.TheMem);
    harness.Close();
}

TEST(HostileHost, BadOriginsAndIdentities) {
    SourceHarness harness;
    TW_IDENTITY identity{};
    EXPECT_EQ(harness.CallFrom(reinterpret_cast<pTW_IDENTITY>(0x10), DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity),
              TWRC_FAILURE)
        << "an unreadable origin cannot open the source";
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    for (void* bad : BadPointers()) {
        EXPECT_EQ(harness.CallFrom(static_cast<pTW_IDENTITY>(bad), DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr),
                  TWRC_FAILURE)
            << "origin " << bad;
    }
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
}
