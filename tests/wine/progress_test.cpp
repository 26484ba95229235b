// The progress window of a transfer and its Cancel button, through the real
// source with a scanner slowed to a real one's speed (VOREL_SIM_RATE): a
// thread of the test follows the window through its properties (never its
// text, which is for the user) and presses Cancel once the first rows are
// counted, for every mechanism and on page 2 of a batch; a hook on the
// transfer's thread hears every change announced.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "source_harness.h"
#include "ui/progress_interface.h"
#include "window_helpers.h"

namespace {

constexpr int kCancelId = 2;
// The page line and the bar, for a person to read; the test looks at them
// only to see that they are there and agree with the properties.
constexpr int kTextId = 100;
constexpr int kBarId = 101;

// Where the window says the page stands, from its properties.
struct Told {
    unsigned page = 0, done = 0, rows = 0;
};
unsigned Number(HWND window, const char* name) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(::GetPropA(window, name)));
}
Told ReadTold(HWND window) {
    return {Number(window, kProgressPageProperty), Number(window, kProgressRowsDoneProperty),
            Number(window, kProgressRowsProperty)};
}

// Watches for the progress window from a thread of its own; once it counts
// rows of page `page` (a third of them, when it is to take a picture of the
// window into `picture` first), keeps what it told and presses Cancel.
class CancelPresser {
public:
    explicit CancelPresser(int page, std::string picture = "") : page_(page), picture_(std::move(picture)) {
        thread_ = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~CancelPresser() {
        stop_ = true;
        ::WaitForSingleObject(thread_, INFINITE);
        ::CloseHandle(thread_);
    }
    // Waits for the thread; what the window told when Cancel was pressed.
    Told Seen() {
        stop_ = true;
        ::WaitForSingleObject(thread_, INFINITE);
        return seen_;
    }
    bool Pressed() const { return pressed_; }
    // The window that owned the progress window when Cancel was pressed.
    HWND Owner() const { return owner_; }
    bool Captured() const { return captured_; }
    // The window's title, its page line and its bar's position and end
    // when Cancel was pressed.
    const std::string& Caption() const { return caption_; }
    const std::string& Label() const { return label_; }
    int BarPosition() const { return barPosition_; }
    int BarEnd() const { return barEnd_; }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<CancelPresser*>(self)->Watch();
        return 0;
    }
    void Watch() {
        // Bounded: a transfer that never shows its window ends the watch.
        for (int tries = 0; tries < 60000 && !stop_; ++tries) {
            HWND window = ::FindWindowA(kProgressWindowClass, nullptr);
            if (window != nullptr) {
                const Told told = ReadTold(window);
                const bool third = told.done * 3 >= told.rows;
                if (told.page == unsigned(page_) && told.done > 0 && (picture_.empty() || third)) {
                    seen_ = told;
                    owner_ = ::GetWindow(window, GW_OWNER);
                    char text[128] = {};
                    ::GetWindowTextA(window, text, sizeof text);
                    caption_ = text;
                    ::GetWindowTextA(::GetDlgItem(window, kTextId), text, sizeof text);
                    label_ = text;
                    HWND bar = ::GetDlgItem(window, kBarId);
                    char barClass[64] = {};
                    if (bar != nullptr && ::GetClassNameA(bar, barClass, sizeof barClass) > 0 &&
                        std::string(barClass) == PROGRESS_CLASSA) {
                        barPosition_ = static_cast<int>(::SendMessageA(bar, PBM_GETPOS, 0, 0));
                        barEnd_ = static_cast<int>(::SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
                    }
                    if (!picture_.empty()) {
                        ::Sleep(10);  // the text just set is drawn before the next read ends
                        captured_ = CaptureWindow(window, picture_);
                    }
                    ::SendMessageA(::GetDlgItem(window, kCancelId), BM_CLICK, 0, 0);
                    pressed_ = true;
                    return;
                }
            }
            ::Sleep(1);
        }
    }

    int page_;
    std::string picture_;
    volatile bool captured_ = false;
    HANDLE thread_ = nullptr;
    volatile bool stop_ = false;
    volatile bool pressed_ = false;
    HWND owner_ = nullptr;
    Told seen_;
    std::string caption_;
    std::string label_;
    int barPosition_ = -1;
    int barEnd_ = -1;
};

// While it lives, every change the progress window announces on this
// thread: the message's page and rows done, and the properties then.
class ChangeHook {
public:
    struct Heard {
        WPARAM page;
        LPARAM done;
        Told told;
    };
    ChangeHook() {
        changed_ = ::RegisterWindowMessageA(kProgressChangedMessage);
        heard_ = &heard;
        hook_ = ::SetWindowsHookExA(WH_CALLWNDPROC, OnMessage, nullptr, ::GetCurrentThreadId());
    }
    ~ChangeHook() {
        ::UnhookWindowsHookEx(hook_);
        heard_ = nullptr;
    }
    bool Hooked() const { return hook_ != nullptr; }
    std::vector<Heard> heard;

private:
    static LRESULT CALLBACK OnMessage(int code, WPARAM wParam, LPARAM lParam) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        char name[64] = {};
        if (code == HC_ACTION && heard_ != nullptr && message->message == changed_ &&
            ::GetClassNameA(message->hwnd, name, sizeof name) > 0 && std::string(name) == kProgressWindowClass) {
            heard_->push_back({message->wParam, message->lParam, ReadTold(message->hwnd)});
        }
        return ::CallNextHookEx(hook_, code, wParam, lParam);
    }
    static inline HHOOK hook_ = nullptr;
    static inline UINT changed_ = 0;
    static inline std::vector<Heard>* heard_ = nullptr;
};

enum class Mechanism { Native, Memory, Bmp, Tiff };

TW_UINT16 Transfer(SourceHarness& harness, Mechanism mechanism, const std::string& file) {
    switch (mechanism) {
        case Mechanism::Native: {
            TW_HANDLE dib = nullptr;
            const TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
            if (rc == TWRC_XFERDONE) ::GlobalFree(dib);
            return rc;
        }
        case Mechanism::Memory: {
            std::string buffer(64000, '\0');
            for (int strip = 0; strip < 100000; ++strip) {
                TW_IMAGEMEMXFER xfer{};
                xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, 64000, &buffer[0]};
                const TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
                if (rc != TWRC_SUCCESS) return rc;
            }
            return TWRC_FAILURE;
        }
        case Mechanism::Bmp:
        case Mechanism::Tiff: {
            TW_SETUPFILEXFER setup{};
            std::snprintf(setup.FileName, sizeof setup.FileName, "%s", file.c_str());
            setup.Format = mechanism == Mechanism::Bmp ? TWFF_BMP : TWFF_TIFF;
            if (harness.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) != TWRC_SUCCESS) return TWRC_FAILURE;
            return harness.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
        }
    }
    return TWRC_FAILURE;
}

TW_UINT16 EndXfer(SourceHarness& harness, TW_UINT16* count) {
    TW_PENDINGXFERS pending{};
    const TW_UINT16 rc = harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    *count = pending.Count;
    return rc;
}

long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

TEST(Progress, CancelFromTheWindowEndsEveryMechanism) {
    const std::pair<Mechanism, const char*> mechanisms[] = {
        {Mechanism::Native, "native"}, {Mechanism::Memory, "memory"}, {Mechanism::Bmp, "bmp"}, {Mechanism::Tiff, "tiff"}};
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_SUCCESS);
    for (const auto& [mechanism, what] : mechanisms) {
        const std::string file = TestFolder() + "\\progress-" + what + (mechanism == Mechanism::Tiff ? ".tif" : ".bmp");
        ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS) << what;
        CancelPresser presser(1);
        EXPECT_EQ(Transfer(harness, mechanism, file), TWRC_CANCEL) << what;
        const Told seen = presser.Seen();
        EXPECT_TRUE(presser.Pressed()) << what << ": no progress window with rows counted";
        EXPECT_EQ(seen.page, 1u) << what;
        EXPECT_EQ(seen.rows, 2100u) << what;
        EXPECT_EQ(::FindWindowA(kProgressWindowClass, nullptr), nullptr)
            << what << ": the window goes with the transfer";
        if (mechanism == Mechanism::Bmp || mechanism == Mechanism::Tiff) {
            EXPECT_LE(FileSize(file), 0) << what << ": nothing left in the file";
        }
        TW_UINT16 count = 1;
        EXPECT_EQ(EndXfer(harness, &count), TWRC_SUCCESS) << what;
        EXPECT_EQ(count, 0) << what;
        EXPECT_EQ(harness.Disable(), TWRC_SUCCESS) << what;
    }
    harness.Close();
}

TEST(Progress, CancelOnPageTwoEndsTheBatch) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
    TW_UINT16 count = 0;
    EXPECT_EQ(Transfer(harness, Mechanism::Native, ""), TWRC_XFERDONE);
    ASSERT_EQ(EndXfer(harness, &count), TWRC_SUCCESS);
    EXPECT_EQ(count, 2);
    {
        CancelPresser presser(2);
        EXPECT_EQ(Transfer(harness, Mechanism::Memory, ""), TWRC_CANCEL);
        EXPECT_TRUE(presser.Pressed());
        EXPECT_EQ(presser.Seen().page, 2u);
        // Three copies of the glass: the batch's length is known.
        EXPECT_EQ(presser.Caption(), "Scanning - Vorel Source");
        EXPECT_EQ(presser.Label(), "Page 2 of 3");
        EXPECT_GT(presser.BarEnd(), 0) << "a progress bar counting the page's rows";
        EXPECT_GT(presser.BarPosition(), 0) << "rows were counted when Cancel was pressed";
        EXPECT_LE(presser.BarPosition(), presser.BarEnd());
    }
    ASSERT_EQ(EndXfer(harness, &count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0) << "the batch stops";
    harness.Close();
}

TEST(Progress, PictureOfTheProgressWindow) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
    CancelPresser presser(1, OutputFolder() + "progress.bmp");
    EXPECT_EQ(Transfer(harness, Mechanism::Native, ""), TWRC_CANCEL);
    presser.Seen();
    EXPECT_TRUE(presser.Captured());
    TW_UINT16 count = 1;
    EXPECT_EQ(EndXfer(harness, &count), TWRC_SUCCESS);
    harness.Close();
}

// With the source's dialog hidden, the progress window belongs to the
// window the application enabled the source with: it stays above it.
TEST(Progress, OwnedByTheApplicationsWindow) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    HWND application = ::CreateWindowA("STATIC", "application", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(application, nullptr);
    // Another of the application's windows is the active one.
    HWND other = ::CreateWindowA("STATIC", "other", WS_POPUP | WS_VISIBLE, 300, 0, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    ::SetActiveWindow(other);
    TW_USERINTERFACE ui{0, 0, application};
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    CancelPresser presser(1);
    EXPECT_EQ(Transfer(harness, Mechanism::Native, ""), TWRC_CANCEL);
    presser.Seen();
    EXPECT_TRUE(presser.Pressed());
    EXPECT_EQ(presser.Owner(), application) << "the application's window owns the progress window";
    TW_UINT16 count = 1;
    EXPECT_EQ(EndXfer(harness, &count), TWRC_SUCCESS);
    harness.Close();
    ::DestroyWindow(other);
    ::DestroyWindow(application);
}

// Each change is announced on the transfer's thread with the properties
// already in place: page 1 of 2100 rows, the rows done only growing and
// never past the rows. A page read whole ends the window with its
// properties.
TEST(Progress, ChangesAreAnnouncedOnTheTransfersThread) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_SUCCESS);
    for (Mechanism mechanism : {Mechanism::Native, Mechanism::Memory}) {
        ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS);
        ChangeHook hook;
        ASSERT_TRUE(hook.Hooked());
        EXPECT_EQ(Transfer(harness, mechanism, ""), TWRC_XFERDONE);
        ASSERT_GE(hook.heard.size(), 2u) << "a page the slowed scanner reads for a while is told more than once";
        unsigned last = 0;
        for (const ChangeHook::Heard& heard : hook.heard) {
            EXPECT_EQ(heard.told.page, 1u);
            EXPECT_EQ(heard.told.rows, 2100u);
            EXPECT_EQ(heard.page, WPARAM(heard.told.page));
            EXPECT_EQ(heard.done, LPARAM(heard.told.done));
            EXPECT_GE(heard.told.done, last);
            EXPECT_LE(heard.told.done, heard.told.rows);
            last = heard.told.done;
        }
        EXPECT_GT(last, 0u);
        EXPECT_EQ(::FindWindowA(kProgressWindowClass, nullptr), nullptr);
        TW_UINT16 count = 1;
        EXPECT_EQ(EndXfer(harness, &count), TWRC_SUCCESS);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(harness.Disable(), TWRC_SUCCESS);
    }
    harness.Close();
}
