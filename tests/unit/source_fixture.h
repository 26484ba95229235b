// What the protocol and dialog tests share: a fixture that plays the
// application and the source manager through DS_Entry, over the simulated
// scanner. Every test starts from a freshly loaded module (identity filled,
// state 300, no dialog), in a folder of its own that also holds the profile,
// with message boxes answered by the test and the source's notifications
// recorded together with the state they were sent in. The scanner calls the
// tests look at (resets, releases, scan windows) are recorded on their way
// to the simulator.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "acquisition/scan_session.h"
#include "capabilities/capability_table.h"
#include "device/scanner_library.h"
#include "module/source_app.h"
#include "platform/global_memory.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "protocol/notifications.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"
#include "simulated_library.h"
#include "twain/twain.h"
#include "ui/dialog_window.h"
#include "ui/headless/dialog_window_headless.h"
#include "ui/headless/progress_window_headless.h"
#include "ui/image_type_list.h"
#include "ui/source_dialog.h"

extern "C" TW_UINT16 TW_CALLINGSTYLE DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                              TW_MEMREF data);

inline void PrintTo(const Rect32& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace source_test {

constexpr TW_UINT32 kAppId = 7;
constexpr TW_UINT32 kSourceId = 42;
constexpr std::uint16_t kSentinel16 = 0xBEEF;
constexpr std::uint32_t kSentinel32 = 0xDEADBEEF;

struct Notification {
    TW_UINT16 msg;
    TW_INT32 state;  // sourceState when it was sent
};

struct MessageBoxCall {
    std::string text;
    std::string caption;
    unsigned type;
};

struct ScannerCalls {
    int resets = 0;
    int releases = 0;  // OpenScanner with flag 0
    std::uint16_t releaseWindow = 0;
    std::vector<std::array<std::uint16_t, 5>> windows;
};

inline std::vector<Notification>& Notifications() {
    static std::vector<Notification> sent;
    return sent;
}
// What the stand-in source manager answers the source's notifications.
inline TW_UINT16& NotificationAnswer() {
    static TW_UINT16 answer = TWRC_SUCCESS;
    return answer;
}
inline TW_UINT16 RecordNotification(TW_UINT16 msg) {
    Notifications().push_back({msg, sourceState});
    return NotificationAnswer();
}

inline ScannerCalls& Calls() {
    static ScannerCalls calls;
    return calls;
}

// The simulator, with the calls above recorded before they are passed on.
inline std::int16_t VOREL_API RecordOpenScanner(std::uint16_t window, std::int16_t flag) {
    if (flag == 0) {
        ++Calls().releases;
        Calls().releaseWindow = window;
    }
    return SimulatedScannerLibrary().OpenScanner(window, flag);
}
inline std::int16_t VOREL_API RecordResetScanner() {
    ++Calls().resets;
    return SimulatedScannerLibrary().ResetScanner();
}
inline std::int16_t VOREL_API RecordSetScanWindow(std::uint16_t* window, std::int16_t zero) {
    if (window != nullptr) Calls().windows.push_back({window[0], window[1], window[2], window[3], window[4]});
    return SimulatedScannerLibrary().SetScanWindow(window, zero);
}
inline const ScannerLibrary& RecordingScannerLibrary() {
    static const ScannerLibrary table = [] {
        ScannerLibrary t = SimulatedScannerLibrary();
        t.OpenScanner = RecordOpenScanner;
        t.ResetScanner = RecordResetScanner;
        t.SetScanWindow = RecordSetScanWindow;
        return t;
    }();
    return table;
}

constexpr const char* kSimulatorVariables[] = {"VOREL_SIM_COLOR",   "VOREL_SIM_OPEN",    "VOREL_SIM_RESET",
                                               "VOREL_SIM_FEEDER",  "VOREL_SIM_MATRIX7", "VOREL_SIM_LINES",
                                               "VOREL_SIM_PAGE",    "VOREL_SIM_LOG",     "VOREL_SIM_SHEETS",
                                               "VOREL_SIM_JAM",     "VOREL_SIM_FAIL_AT", "VOREL_SIM_FAIL_STATUS",
                                               "VOREL_SIM_SHEET_CONTENT"};

class SourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vorel-source-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr) << "temporary folder";
        folder = pattern;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previousFolder = cwd;
        ASSERT_EQ(chdir(folder.c_str()), 0) << folder;
        platform::SetProfileFolder(folder);

        for (const char* name : kSimulatorVariables) unsetenv(name);
        ResetSimulator();
        SetScannerLibraryForTesting(&RecordingScannerLibrary());
        Calls() = ScannerCalls{};
        Notifications().clear();
        NotificationAnswer() = TWRC_SUCCESS;
        SetNotificationHookForTesting(RecordNotification);
        boxes.clear();
        boxAnswer = platform::kAnswerOk;
        platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption, unsigned type) {
            boxes.push_back({text, caption, type});
            return boxAnswer;
        });

        theApp.ExitInstance();
        capabilityTable.Clear();
        ResetModuleState();
        headlessWindowLog = HeadlessWindowLog{};
        headlessProgressLog = HeadlessProgressLog{};
        theApp.InitInstance(nullptr);
        blocksBefore = platform::GlobalBlocksOutstanding();

        app = TW_IDENTITY{};
        app.Id = kAppId;
        std::strcpy(app.ProductName, "Test Application");
    }

    void TearDown() override {
        if (sourceState != 300) {
            TW_IDENTITY ignored{};
            DS_Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &ignored);
        }
        theApp.ExitInstance();
        capabilityTable.Clear();
        ResetModuleState();
        EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksBefore) << "global blocks left behind";
        EXPECT_EQ(headlessWindowLog.windowsAlive, 0) << "windows left behind";
        headlessWindowLog = HeadlessWindowLog{};
        headlessProgressLog = HeadlessProgressLog{};
        platform::FailGlobalAllocationsAfter(-1);
        platform::SetMessageBoxHook(nullptr);
        SetNotificationHookForTesting(nullptr);
        SetScannerLibraryForTesting(nullptr);
        for (const char* name : kSimulatorVariables) unsetenv(name);
        ResetSimulator();
        if (!previousFolder.empty()) {
            EXPECT_EQ(chdir(previousFolder.c_str()), 0);
        }
        if (!folder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    }

    // Sets a VOREL_SIM_* variable and switches the simulator on again.
    void Simulate(const char* name, const char* value) {
        setenv(name, value, 1);
        ResetSimulator();
    }

    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return DS_Entry(&app, dg, dat, msg, data);
    }
    TW_UINT16 Control(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) { return Call(DG_CONTROL, dat, msg, data); }

    // The condition code as the application reads it: DAT_STATUS, which
    // also clears it.
    TW_UINT16 Status() {
        TW_STATUS status{kSentinel16, kSentinel16};
        EXPECT_EQ(Control(DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS) << "MSG_GET DAT_STATUS";
        EXPECT_EQ(status.Reserved, 0) << "MSG_GET DAT_STATUS Reserved";
        return status.ConditionCode;
    }

    TW_UINT16 Open() {
        TW_IDENTITY source{};
        DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &source);
        source.Id = kSourceId;
        return Control(DAT_IDENTITY, MSG_OPENDS, &source);
    }
    TW_UINT16 Close() {
        TW_IDENTITY source{};
        return Control(DAT_IDENTITY, MSG_CLOSEDS, &source);
    }
    TW_UINT16 Enable(bool showUI) {
        TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI ? 1 : 0), 0, nullptr};
        return Control(DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    }
    TW_UINT16 Disable(bool showUI) {
        TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI ? 1 : 0), 0, nullptr};
        return Control(DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    }
    TW_UINT16 EndXfer(TW_UINT16* count = nullptr) {
        TW_PENDINGXFERS pending{kSentinel16, kSentinel32};
        TW_UINT16 rc = Control(DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        if (count != nullptr) *count = pending.Count;
        return rc;
    }

    // MSG_SET of a capability with a one-value container of 16-bit items.
    TW_UINT16 SetOneValue(TW_UINT16 capability, TW_UINT16 itemType, TW_INT32 value) {
        platform::GlobalHandle block = platform::GlobalAllocate(platform::kGmemShareable, sizeof(TW_ONEVALUE));
        {
            platform::LockedBlock locked(block);
            TW_ONEVALUE one{itemType, static_cast<TW_UINT32>(value)};
            std::memcpy(locked.get(), &one, sizeof one);
        }
        TW_CAPABILITY cap{capability, TWON_ONEVALUE, block};
        TW_UINT16 rc = Control(DAT_CAPABILITY, MSG_SET, &cap);
        platform::GlobalFreeBlock(block);
        return rc;
    }
    // The current value of a capability as MSG_GETCURRENT answers it.
    TW_INT32 GetCurrent(TW_UINT16 capability) {
        TW_CAPABILITY cap{capability, 0, nullptr};
        EXPECT_EQ(Control(DAT_CAPABILITY, MSG_GETCURRENT, &cap), TWRC_SUCCESS) << "MSG_GETCURRENT cap " << capability;
        TW_HANDLE handle = cap.hContainer;
        TW_ONEVALUE one{};
        {
            platform::LockedBlock locked(handle);
            if (locked) std::memcpy(&one, locked.get(), sizeof one);
        }
        platform::GlobalFreeBlock(handle);
        return static_cast<TW_INT16>(one.Item);
    }

    SourceDialog& Dialog() { return *theApp.GetDialog(); }
    ScanSession& Session() { return *theApp.GetSession(); }
    ImageTypeList& List() { return Dialog().window().List(); }
    std::vector<std::string> ListTexts() {
        std::vector<std::string> texts;
        for (int i = 0; i < List().GetCount(); ++i) texts.push_back(List().GetText(i));
        return texts;
    }
    std::string SelectedText() { return List().GetText(List().GetCurSel()); }

    int CountNotifications(TW_UINT16 msg) const {
        int n = 0;
        for (const Notification& sent : Notifications())
            if (sent.msg == msg) ++n;
        return n;
    }

    TW_IDENTITY app{};
    std::string folder;
    std::string previousFolder;
    std::vector<MessageBoxCall> boxes;
    int boxAnswer = platform::kAnswerOk;
    long blocksBefore = 0;
};

}  // namespace source_test
