// The 64-bit source's helper process through the real DLL: one helper
// while the source is open and none after; a helper that dies in the
// middle of a transfer fails that transfer with a condition code after the
// no-communication box, the source closes normally, and the next session
// starts a new helper and scans. A helper that hangs at its start, answers
// as another build or is not the process at the pipe's end is given up
// once, at the opening; a slow one is waited for. (The 32-bit source has
// no helper.) The faults are played by the tests' helper, put beside a copy
// of the source; the shipped helper plays none.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <fstream>
#include <iterator>
#include <string>
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

// A folder holding a copy of the source whose vorelhost32.exe is the
// tests' helper.
std::string TestHelperFolder() {
    static const std::string folder = [] {
        const std::string there = TestFolder() + "test-helper\\";
        ::CreateDirectoryA(there.c_str(), nullptr);
        auto copy = [&](const char* from, const char* to) {
            return ::CopyFileA((TestFolder() + from).c_str(), (there + to).c_str(), FALSE) != 0;
        };
        const bool copied = copy("vorelsrc.ds", "vorelsrc.ds") && copy("VOREL32.dll", "VOREL32.dll") &&
                            copy("vorelhost32_test.exe", "vorelhost32.exe");
        EXPECT_TRUE(copied) << "the tests' helper beside a copy of the source in " << there;
        return there;
    }();
    return folder;
}

// Sets the variables for the helpers started while it lives, and sets
// [Helper] StartSeconds in the settings file.
class HelperFaults {
public:
    HelperFaults(std::vector<std::pair<std::string, std::string>> variables, const char* startSeconds = nullptr)
        : variables_(std::move(variables)) {
        for (const auto& v : variables_) ::SetEnvironmentVariableA(v.first.c_str(), v.second.c_str());
        if (startSeconds != nullptr) {
            ::WritePrivateProfileStringA("Helper", "StartSeconds", startSeconds, "vorelsrc.ini");
        }
    }
    ~HelperFaults() {
        for (const auto& v : variables_) ::SetEnvironmentVariableA(v.first.c_str(), nullptr);
        ::WritePrivateProfileStringA("Helper", nullptr, nullptr, "vorelsrc.ini");
    }

private:
    std::vector<std::pair<std::string, std::string>> variables_;
};

// Waits (at most 10 s) until no helper runs: one given up may take a
// moment to go. The count left.
int HelpersAfterGoing() {
    for (int tries = 0; tries < 100 && Helpers() != 0; ++tries) ::Sleep(100);
    return Helpers();
}

int LinesOf(const std::string& path) {
    std::ifstream in(path);
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
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
    SourceHarness harness(TestHelperFolder() + "vorelsrc.ds");
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
    SourceHarness harness(TestHelperFolder() + "vorelsrc.ds");
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

// The helper that ships plays none of the tests' faults: not one of their
// variables is in it.
TEST(HelperProcess, TheShippedHelperHasNoTestFaults) {
    std::ifstream in(TestFolder() + "vorelhost32.exe", std::ios::binary);
    ASSERT_TRUE(in) << TestFolder() << "vorelhost32.exe";
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_GT(bytes.size(), 10000u);
    EXPECT_EQ(bytes.find("VOREL_HOST_"), std::string::npos) << "a test variable in the shipped helper";
}

// A helper that cannot serve is given up at the opening, once: the box
// says the scanner cannot be opened, the enabling that follows is refused
// without another helper being started, and none is left running. Hung at
// its start, it is given up when the start's bound (1 s here) has passed;
// answering as another build, or a process other than the helper at the
// pipe's end, it is refused as soon as it connects.
TEST(HelperProcess, AHelperThatCannotServeIsGivenUpOnceAtTheOpening) {
    if (sizeof(void*) == 4) GTEST_SKIP() << "the 32-bit source loads the scanner library itself";
    const struct Case {
        const char* what;
        const char* variable;
        const char* value;
    } cases[] = {
        {"hung at its start", "VOREL_HOST_HANG_AT_START", "1"},
        {"of another build", "VOREL_HOST_ANSWER_VERSION", "0x56480001"},
        {"not the process at the pipe's end", "VOREL_HOST_IMPOSTOR", "1"},
    };
    SourceHarness harness(TestHelperFolder() + "vorelsrc.ds");
    ASSERT_TRUE(harness.Loaded());
    const std::string log = TestHelperFolder() + "starts.log";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::DeleteFileA(log.c_str());
        ClearAnsweredBoxes();
        {
            HelperFaults faults({{c.variable, c.value}, {"VOREL_HOST_START_LOG", log}}, "1");
            ASSERT_EQ(harness.Open(), TWRC_SUCCESS) << "the source opens without its scanner";
            EXPECT_EQ(HelpersAfterGoing(), 0) << "the helper was given up";
            EXPECT_TRUE(AnsweredBoxes().empty()) << "the box waits for an enabling that allows it";
            EXPECT_EQ(harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
            EXPECT_EQ(harness.Enable(false), TWRC_FAILURE);
            EXPECT_EQ(harness.Enable(true), TWRC_FAILURE);
            EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
        }
        EXPECT_EQ(LinesOf(log), 1) << "helpers started in one opening";
        const std::vector<AnsweredBox> boxes = AnsweredBoxes();
        EXPECT_EQ(boxes.size(), 2u) << "one box at each enabling";
        for (const AnsweredBox& box : boxes) {
            EXPECT_EQ(box.text,
                      "Unable to Open scanner. Make sure scanner drivers are installed correctly, and no other "
                      "scanning applications are running.  [106]");
        }
        EXPECT_EQ(HelpersAfterGoing(), 0);
    }
    // The next opening starts a helper again, which serves.
    ClearAnsweredBoxes();
    TW_UINT16 condition = 0;
    int helpers = 0;
    EXPECT_EQ(Session(harness, TWSX_MEMORY, &condition, &helpers), TWRC_XFERDONE) << "cc " << condition;
    EXPECT_EQ(helpers, 1);
    EXPECT_TRUE(AnsweredBoxes().empty());
}

// A slow helper is no dead one: one whose library takes longer to load
// than the start's bound (1 s here), and whose scanner takes longer still
// for a read, is waited for, and the scan arrives whole.
TEST(HelperProcess, ASlowHelperIsWaitedForAsLongAsItLives) {
    if (sizeof(void*) == 4) GTEST_SKIP() << "the 32-bit source loads the scanner library itself";
    SourceHarness harness(TestHelperFolder() + "vorelsrc.ds");
    ASSERT_TRUE(harness.Loaded());
    ClearAnsweredBoxes();
    HelperFaults faults({{"VOREL_HOST_LOAD_DELAY_MS", "2500"}, {"VOREL_SIM_RATE", "4000"}}, "1");
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    EXPECT_EQ(Helpers(), 1);
    harness.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE);
    harness.SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES);
    harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY);
    harness.SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, 75);
    harness.SetOneValue(ICAP_YRESOLUTION, TWTY_FIX32, 75);
    // The frame is in inches (the units start as pixels, where 1.33 would be no frame at all).
    ASSERT_EQ(harness.SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES), TWRC_SUCCESS);
    // An inch and a third square at 75 dpi: 10000 bytes, two and a half seconds of this scanner.
    TW_IMAGELAYOUT layout{};
    layout.Frame.Right.Whole = 1;
    layout.Frame.Right.Frac = 0x5555;
    layout.Frame.Bottom = layout.Frame.Right;
    ASSERT_EQ(harness.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
    TW_HANDLE dib = nullptr;
    EXPECT_EQ(harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE) << "cc " << harness.Status();
    EXPECT_GE(dib != nullptr ? ::GlobalSize(dib) : 0, 100u * 100u) << "the whole image";
    if (dib != nullptr) ::GlobalFree(dib);
    TW_PENDINGXFERS pending{};
    harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    harness.Disable();
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
    EXPECT_TRUE(AnsweredBoxes().empty()) << AnsweredBoxes()[0].text;
    EXPECT_EQ(HelpersAfterGoing(), 0);
}
