// The progress window of a transfer and its Cancel button, through the real
// source with a scanner slowed to a real one's speed (VOREL_SIM_RATE): a
// thread of the test reads the window's text and presses Cancel once the
// first rows are counted, for every mechanism and on page 2 of a batch.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "source_harness.h"
#include "window_helpers.h"

namespace {

constexpr char kProgressClass[] = "VorelSourceProgress";
constexpr int kTextId = 100;
constexpr int kCancelId = 2;

// Watches for the progress window from a thread of its own; once its text
// counts rows of page `page` (a third of them, when it is to take a picture
// of the window into `picture` first), keeps the text and presses Cancel.
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
    // Waits for the thread; the text it saw when it pressed Cancel.
    std::string Seen() {
        stop_ = true;
        ::WaitForSingleObject(thread_, INFINITE);
        return seen_;
    }
    bool Pressed() const { return pressed_; }
    // The window that owned the progress window when Cancel was pressed.
    HWND Owner() const { return owner_; }
    bool Captured() const { return captured_; }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<CancelPresser*>(self)->Watch();
        return 0;
    }
    void Watch() {
        // Bounded: a transfer that never shows its window ends the watch.
        for (int tries = 0; tries < 60000 && !stop_; ++tries) {
            HWND window = ::FindWindowA(kProgressClass, nullptr);
            if (window != nullptr) {
                char text[128] = {};
                ::GetWindowTextA(::GetDlgItem(window, kTextId), text, sizeof text);
                int page = 0;
                unsigned done = 0, rows = 0;
                if (std::sscanf(text, "Page %d: %u of %u rows", &page, &done, &rows) == 3 && page == page_ &&
                    done > 0 && (picture_.empty() || done * 3 >= rows)) {
                    seen_ = text;
                    owner_ = ::GetWindow(window, GW_OWNER);
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
    std::string seen_;
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
        const std::string seen = presser.Seen();
        EXPECT_TRUE(presser.Pressed()) << what << ": no progress window with rows counted";
        EXPECT_EQ(seen.rfind("Page 1: ", 0), 0u) << what << ": " << seen;
        EXPECT_NE(seen.find(" of 2100 rows"), std::string::npos) << what << ": " << seen;
        EXPECT_EQ(::FindWindowA(kProgressClass, nullptr), nullptr) << what << ": the window goes with the transfer";
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
        EXPECT_EQ(presser.Seen().rfind("Page 2: ", 0), 0u) << presser.Seen();
    }
    ASSERT_EQ(EndXfer(harness, &count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0) << "the batch stops";
    harness.Close();
}

TEST(Progress, PictureOfTheProgressWindow) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
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
