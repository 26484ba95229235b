// The 64-bit source's helper process through the real DLL: one helper
// while the source is open and none after; a helper that dies in the
// middle of a transfer fails that transfer with a condition code after the
// no-communication box, the source closes normally, and the next session
// starts a new helper and scans. (The 32-bit source has no helper.)
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "source_harness.h"

namespace {

int Helpers() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry)) {
        count += _stricmp(entry.szExeFile, "vorelhost32.exe") == 0;
    }
    ::CloseHandle(snapshot);
    return count;
}

// One image by the mechanism set: the last return code of its triplets.
TW_UINT16 TransferOne(SourceHarness& harness, TW_UINT16 mechanism) {
    if (mechanism == TWSX_NATIVE) {
        TW_HANDLE dib = nullptr;
        const TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        if (dib != nullptr) ::GlobalFree(dib);
        return rc;
    }
    if (mechanism == TWSX_FILE) {
        TW_SETUPFILEXFER setup{};
        lstrcpynA(setup.FileName, (TestFolder() + "helper_process.tiff").c_str(), sizeof setup.FileName);
        setup.Format = TWFF_TIFF;
        if (harness.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) != TWRC_SUCCESS) return TWRC_FAILURE;
        return harness.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    }
    TW_SETUPMEMXFER setup{};
    if (harness.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) return TWRC_FAILURE;
    std::vector<char> strip(setup.Preferred);
    for (;;) {
        TW_IMAGEMEMXFER block{};
        block.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        block.Memory.Length = setup.Preferred;
        block.Memory.TheMem = strip.data();
        const TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &block);
        if (rc != TWRC_SUCCESS) return rc;
    }
}

// Open, enable without the dialog, one transfer, end it, disable and
// close: the transfer's return code and condition code.
TW_UINT16 Session(SourceHarness& harness, TW_UINT16 mechanism, TW_UINT16* condition, int* helpersWhileOpen,
                  bool indicators = true) {
    *condition = TWCC_SUCCESS;
    if (harness.Open() != TWRC_SUCCESS) return 0xFFFF;
    *helpersWhileOpen = Helpers();
    if (!indicators) harness.SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0);
    harness.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism);
    harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY);
    TW_UINT16 rc = harness.Enable(false);
    if (rc == TWRC_SUCCESS) {
        rc = TransferOne(harness, mechanism);
        if (rc == TWRC_FAILURE) *condition = harness.Status();
        TW_PENDINGXFERS pending{};
        harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
        harness.Disable();
    }
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
    return rc;
}

}  // namespace

TEST(HelperProcess, DiesInTheMiddleOfATransferAndTheNextSessionScans) {
    if (sizeof(void*) == 4) GTEST_SKIP() << "the 32-bit source loads the scanner library itself";
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    for (TW_UINT16 mechanism : {TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE}) {
        SCOPED_TRACE(testing::Message() << "ICAP_XFERMECH " << mechanism);
        TW_UINT16 condition = 0;
        int helpers = 0;
        ClearAnsweredBoxes();
        // The helper reads this when it starts: it ends itself at its third read.
        ::SetEnvironmentVariableA("VOREL_HOST_DIE_AT_READ", "3");
        const TW_UINT16 broken = Session(harness, mechanism, &condition, &helpers);
        ::SetEnvironmentVariableA("VOREL_HOST_DIE_AT_READ", nullptr);
        EXPECT_EQ(helpers, 1) << "one helper while the source is open";
        EXPECT_EQ(broken, TWRC_FAILURE);
        EXPECT_EQ(condition, TWCC_BUMMER);
        const std::vector<AnsweredBox> boxes = AnsweredBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Failure to communicate with scanner. Be sure scanner is on and properly connected.  [107]");
        EXPECT_EQ(Helpers(), 0) << "no process left";

        ClearAnsweredBoxes();
        EXPECT_EQ(Session(harness, mechanism, &condition, &helpers), TWRC_XFERDONE) << "cc " << condition;
        EXPECT_EQ(helpers, 1) << "a new helper";
        EXPECT_TRUE(AnsweredBoxes().empty());
        EXPECT_EQ(Helpers(), 0) << "closing ended it";
    }
}

TEST(HelperProcess, WithoutAnyWindowTheLostHelperIsAConditionCode) {
    if (sizeof(void*) == 4) GTEST_SKIP() << "the 32-bit source loads the scanner library itself";
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    TW_UINT16 condition = 0;
    int helpers = 0;
    ClearAnsweredBoxes();
    ::SetEnvironmentVariableA("VOREL_HOST_DIE_AT_READ", "3");
    const TW_UINT16 broken = Session(harness, TWSX_MEMORY, &condition, &helpers, false);
    ::SetEnvironmentVariableA("VOREL_HOST_DIE_AT_READ", nullptr);
    EXPECT_EQ(broken, TWRC_FAILURE);
    EXPECT_EQ(condition, TWCC_BUMMER) << "a TWAIN 1.x application";
    EXPECT_TRUE(AnsweredBoxes().empty()) << "no window allowed, no box";
    EXPECT_EQ(Helpers(), 0);
}
