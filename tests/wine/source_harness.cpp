// The Wine test harness: source loading, the notification record, and a
// watcher thread that answers every message box and About box the source
// shows, so that no test can hang on a modal window.
#include "source_harness.h"

#include <atomic>
#include <cstring>
#include <iterator>
#include <mutex>
#include <set>

#include <gtest/gtest.h>

namespace {

std::mutex boxesMutex;
std::vector<AnsweredBox> answered;
// Boxes already recorded: a box stays on screen for a moment after the
// answer was posted, and must count once.
std::set<HWND> seenBoxes;

// Records a box the first time it is seen; true when it is new.
bool RecordBox(HWND hwnd, const std::string& caption, const std::string& text) {
    std::lock_guard<std::mutex> guard(boxesMutex);
    if (!seenBoxes.insert(hwnd).second) return false;
    answered.push_back({caption, text});
    return true;
}
std::atomic<int> answerButton{IDOK};
std::atomic<bool> watching{false};
std::atomic<bool> holding{false};

// Reads a window's text without sending it a message: the window belongs to
// the test's main thread, which may be busy, and a sent WM_GETTEXT would
// wait for it.
std::string WindowText(HWND hwnd) {
    WCHAR wide[2048] = {};
    int length = ::InternalGetWindowText(hwnd, wide, 2048);
    char text[4096] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, length, text, sizeof text - 1, nullptr, nullptr);
    return text;
}

// Message boxes have their text in a static control with id 0xFFFF; the
// About box is known by its caption. The source's own dialog is neither.
BOOL CALLBACK AnswerWindow(HWND hwnd, LPARAM) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd)) return TRUE;
    char className[64] = {};
    ::GetClassNameA(hwnd, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0) return TRUE;
    std::string caption = WindowText(hwnd);
    // The source's own dialog has a label with id 0xFFFF too; it is no box.
    if (caption == "Vorel Scanner Source") return TRUE;
    HWND textControl = ::GetDlgItem(hwnd, 0xFFFF);
    if (textControl != nullptr) {
        RecordBox(hwnd, caption, WindowText(textControl));
        int button = answerButton.load();
        if (::GetDlgItem(hwnd, button) == nullptr) button = IDOK;
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    } else if (caption == "About Vorel Source") {
        RecordBox(hwnd, caption, "");
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return TRUE;
}

DWORD WINAPI WatchForBoxes(LPVOID) {
    while (watching.load()) {
        {
            std::lock_guard<std::mutex> guard(boxesMutex);
            for (auto it = seenBoxes.begin(); it != seenBoxes.end();) {
                it = ::IsWindow(*it) ? std::next(it) : seenBoxes.erase(it);
            }
        }
        if (!holding.load()) ::EnumWindows(AnswerWindow, 0);
        ::Sleep(50);
    }
    return 0;
}

class BoxWatcher : public ::testing::Environment {
public:
    void SetUp() override {
        watching = true;
        thread_ = ::CreateThread(nullptr, 0, WatchForBoxes, nullptr, 0, nullptr);
    }
    void TearDown() override {
        watching = false;
        if (thread_) ::WaitForSingleObject(thread_, 5000);
    }

private:
    HANDLE thread_ = nullptr;
};

::testing::Environment* const boxWatcher = ::testing::AddGlobalTestEnvironment(new BoxWatcher);

template <typename Function>
Function ManagerFunction(const char* name, const char* library = "TWAIN_32.DLL") {
    HMODULE manager = ::GetModuleHandleA(library);
    if (manager == nullptr) manager = ::LoadLibraryA(library);
    return manager ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(manager, name))) : nullptr;
}

}  // namespace

std::string TestFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

SourceHarness::SourceHarness() : SourceHarness(TestFolder() + "vorelsrc.ds") {}

SourceHarness::SourceHarness(const std::string& path) {
    module_ = ::LoadLibraryA(path.c_str());
    if (module_) entry_ = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(module_, "DS_Entry")));
    app.Id = 7;
    app.Version.MajorNum = 1;
    app.ProtocolMajor = 1;
    app.ProtocolMinor = 6;
    app.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(app.ProductName, "Wine test application");
    ClearNotifications();
    ClearAnsweredBoxes();
    AnswerBoxesWith(IDOK);
}

SourceHarness::~SourceHarness() {
    if (module_) ::FreeLibrary(module_);
}

TW_UINT16 SourceHarness::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return CallFrom(&app, dg, dat, msg, data);
}

TW_UINT16 SourceHarness::CallFrom(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return entry_ ? entry_(origin, dg, dat, msg, data) : TWRC_FAILURE;
}

TW_UINT16 SourceHarness::Status() {
    TW_STATUS status{0x1234, 0x5678};
    Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
}

TW_UINT16 SourceHarness::Open() {
    source = TW_IDENTITY{};
    TW_UINT16 rc = Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &source);
    source.Id = 42;
    if (rc == TWRC_SUCCESS) rc = Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source);
    return rc;
}

TW_UINT16 SourceHarness::Close() { return Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source); }

TW_UINT16 SourceHarness::Enable(bool showUI) {
    TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI ? 1 : 0), 0, nullptr};
    return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
}

TW_UINT16 SourceHarness::Disable() {
    TW_USERINTERFACE ui{1, 0, nullptr};
    return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

TW_UINT16 SourceHarness::SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
    TW_CAPABILITY capability{cap, TWON_ONEVALUE, ::GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
    auto* one = static_cast<TW_ONEVALUE*>(::GlobalLock(capability.hContainer));
    one->ItemType = itemType;
    one->Item = value;
    ::GlobalUnlock(capability.hContainer);
    TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    ::GlobalFree(capability.hContainer);
    return rc;
}

std::vector<RecordedNotification> Notifications(const char* manager) {
    using CountFunction = int(__stdcall*)();
    using ItemFunction = int(__stdcall*)(int, TW_UINT16*, TW_UINT32*, TW_UINT32*, char*, int*);
    std::vector<RecordedNotification> result;
    auto count = ManagerFunction<CountFunction>("TestDsm_NotificationCount", manager);
    auto item = ManagerFunction<ItemFunction>("TestDsm_Notification", manager);
    if (!count || !item) return result;
    for (int i = 0; i < count(); ++i) {
        RecordedNotification note{};
        char product[34] = {};
        int dataWasNull = 0;
        item(i, &note.msg, &note.originId, &note.destinationId, product, &dataWasNull);
        note.originProduct.assign(product, strnlen(product, sizeof product));
        note.dataWasNull = dataWasNull != 0;
        result.push_back(note);
    }
    return result;
}

void ClearNotifications(const char* manager) {
    using ResetFunction = void(__stdcall*)();
    if (auto reset = ManagerFunction<ResetFunction>("TestDsm_Reset", manager)) reset();
}

void RefuseNotifications(const char* manager, bool refuse) {
    using RefuseFunction = void(__stdcall*)(int);
    if (auto set = ManagerFunction<RefuseFunction>("TestDsm_RefuseNotifications", manager)) set(refuse ? 1 : 0);
}

std::vector<AnsweredBox> AnsweredBoxes() {
    std::lock_guard<std::mutex> guard(boxesMutex);
    return answered;
}

void ClearAnsweredBoxes() {
    std::lock_guard<std::mutex> guard(boxesMutex);
    answered.clear();
}

void AnswerBoxesWith(int button) { answerButton = button; }

void HoldBoxes(bool hold) { holding = hold; }

void PumpMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

SourceForWinesManager::SourceForWinesManager() {
    // The 64-bit manager looks in twain_64: wine.Win64 scans through it.
    if (sizeof(void*) == 8) {
        why_ = "Wine's 32-bit manager and twain_32";
        return;
    }
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string folder = std::string(windows) + "\\twain_32\\";
    if (::GetFileAttributesA((folder + "gphoto2.ds").c_str()) != INVALID_FILE_ATTRIBUTES) {
        why_ = "the prefix holds Wine's gphoto2.ds, which Wine's manager would load";
        return;
    }
    ::CreateDirectoryA(folder.c_str(), nullptr);
    if (!::CopyFileA((TestFolder() + "vorelsrc.ds").c_str(), (folder + "sane.ds").c_str(), FALSE) ||
        !::CopyFileA((TestFolder() + "VOREL32.dll").c_str(), (folder + "VOREL32.dll").c_str(), FALSE)) {
        why_ = "the source could not be put into " + folder;
        return;
    }
    folder_ = folder;
    manager_ = std::string(windows) + "\\twain_32.dll";
}

// Wine's manager keeps the source loaded for the life of the process, so
// these may stay; the acquisition test, which puts them there too, removes
// them from outside.
SourceForWinesManager::~SourceForWinesManager() {
    if (folder_.empty()) return;
    ::DeleteFileA((folder_ + "sane.ds").c_str());
    ::DeleteFileA((folder_ + "VOREL32.dll").c_str());
}

std::size_t RowBytes(const TW_IMAGEINFO& info) { return (std::size_t(info.ImageWidth) * info.BitsPerPixel + 7) / 8; }

std::vector<unsigned char> ReadMemoryRows(SourceHarness& source, std::size_t rowBytes, std::uint32_t bufferBytes) {
    std::vector<unsigned char> rows, buffer(bufferBytes);
    for (int strip = 0; strip < 100000; ++strip) {
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, bufferBytes, buffer.data()};
        const TW_UINT16 rc = source.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        EXPECT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << "strip " << strip;
        for (TW_UINT32 row = 0; row < xfer.Rows; ++row) {
            const unsigned char* at = buffer.data() + std::size_t(row) * xfer.BytesPerRow;
            rows.insert(rows.end(), at, at + rowBytes);
        }
        if (rc != TWRC_SUCCESS) break;
    }
    return rows;
}
