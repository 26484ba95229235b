// The real dialog under Wine: its layout, list, buttons, the About box,
// closing by the user, and a picture of it for people to look at.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdlib>

#include "source_harness.h"
#include "window_helpers.h"

namespace {

std::vector<std::string> ListEntries(HWND dialog, int id = 1002) {
    std::vector<std::string> entries;
    HWND list = ::GetDlgItem(dialog, id);
    int count = static_cast<int>(::SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        ::SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

std::string SelectedEntry(HWND dialog, int id = 1002) {
    HWND list = ::GetDlgItem(dialog, id);
    int selected = static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0));
    char text[64] = {};
    if (selected >= 0) ::SendMessageA(list, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text));
    return text;
}

// The user picks `text` in the drop-down list `id`: the list tells its
// dialog, as a click on the entry would.
bool PickEntry(HWND dialog, int id, const char* text) {
    HWND list = ::GetDlgItem(dialog, id);
    const LRESULT at = ::SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
    if (at == CB_ERR) return false;
    ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return true;
}

// The user drags the slider `id` to `position` and lets it go.
void Slide(HWND dialog, int id, int position) {
    HWND slider = ::GetDlgItem(dialog, id);
    ::SendMessageA(slider, TBM_SETPOS, TRUE, position);
    ::SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, position), reinterpret_cast<LPARAM>(slider));
    ::SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
}

void ExpectRect(const RECT& actual, const RECT& expected, const char* what) {
    EXPECT_EQ(actual.left, expected.left) << what;
    EXPECT_EQ(actual.top, expected.top) << what;
    EXPECT_EQ(actual.right, expected.right) << what;
    EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

// One control of a dialog template as the resource holds it.
struct TemplateItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
};

// Steps over a name or ordinal of a dialog template.
const WORD* SkipNameOrOrdinal(const WORD* p) {
    if (*p == 0xFFFF) return p + 2;
    while (*p != 0) ++p;
    return p + 1;
}

// The controls of the module's DIALOG template `id`, in template order.
std::vector<TemplateItem> TemplateItems(HMODULE module, int id) {
    std::vector<TemplateItem> items;
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (found == nullptr) return items;
    const auto* header = static_cast<const DLGTEMPLATE*>(::LockResource(::LoadResource(module, found)));
    const WORD* p = reinterpret_cast<const WORD*>(header + 1);
    p = SkipNameOrOrdinal(p);  // menu
    p = SkipNameOrOrdinal(p);  // class
    p = SkipNameOrOrdinal(p);  // caption
    if (header->style & DS_SETFONT) p = SkipNameOrOrdinal(p + 1);
    for (int i = 0; i < header->cdit; ++i) {
        auto at = reinterpret_cast<std::uintptr_t>(p);
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>((at + 3) & ~std::uintptr_t(3));
        items.push_back({item->style, item->x, item->y, item->cx, item->cy, item->id});
        p = SkipNameOrOrdinal(reinterpret_cast<const WORD*>(item + 1));  // class
        p = SkipNameOrOrdinal(p);                                         // text
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);  // creation data
    }
    return items;
}

class DialogWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
        dialog = FindSourceDialog();
        ASSERT_NE(dialog, nullptr) << "MSG_OPENDS creates the dialog window";
    }
    void TearDown() override { harness.Close(); }

    SourceHarness harness;
    HWND dialog = nullptr;
};

}  // namespace

TEST_F(DialogWindow, CreatedHiddenAndShownByEnable) {
    EXPECT_FALSE(::IsWindowVisible(dialog)) << "hidden after MSG_OPENDS";
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(dialog)) << "shown by MSG_ENABLEDS with ShowUI";
    EXPECT_TRUE(Notifications().empty()) << "nothing is ready until the user scans";
    TW_USERINTERFACE keep{0, 0, nullptr};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &keep), TWRC_SUCCESS);
    EXPECT_TRUE(::IsWindowVisible(dialog)) << "MSG_DISABLEDS with ShowUI 0 leaves the window";
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(harness.Disable(), TWRC_SUCCESS);
    EXPECT_FALSE(::IsWindowVisible(dialog)) << "MSG_DISABLEDS with ShowUI hides it";
}

TEST_F(DialogWindow, OpensCentredOnTheScreen) {
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    RECT window{};
    ::GetWindowRect(dialog, &window);
    EXPECT_LE(std::abs((window.left + window.right) - (work.left + work.right)), 1) << "horizontal centre";
    EXPECT_LE(std::abs((window.top + window.bottom) - (work.top + work.bottom)), 1) << "vertical centre";
}

TEST_F(DialogWindow, LayoutCaptionAndListAsDesigned) {
    char caption[64] = {};
    ::GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "Vorel Scanner Source");
    ExpectRect(ControlRect(dialog, 1000), DialogUnits(dialog, 20, 186, 80, 14), "Preview Scan");
    ExpectRect(ControlRect(dialog, 1001), DialogUnits(dialog, 20, 206, 80, 14), "Final Scan");
    RECT list = ControlRect(dialog, 1002);
    RECT expected = DialogUnits(dialog, 10, 35, 100, 54);
    EXPECT_EQ(list.left, expected.left);
    EXPECT_EQ(list.top, expected.top);
    EXPECT_EQ(list.right, expected.right) << "list width";
    RECT preview = ControlRect(dialog, 1003);
    RECT previewAt = DialogUnits(dialog, 130, 10, 16, 18);
    EXPECT_EQ(preview.left, previewAt.left) << "preview stays at its place";
    EXPECT_EQ(preview.top, previewAt.top);
    EXPECT_EQ(preview.right - preview.left, 255 + 4) << "preview sized to the 30 dpi bed image";
    EXPECT_EQ(preview.bottom - preview.top, 420 + 4);
    char text[64] = {};
    ::GetDlgItemTextA(dialog, 1000, text, sizeof text);
    EXPECT_STREQ(text, "Preview Scan");
    ::GetDlgItemTextA(dialog, 1001, text, sizeof text);
    EXPECT_STREQ(text, "Final Scan");
    EXPECT_EQ(ListEntries(dialog), (std::vector<std::string>{"BW Drawing", "BW Photo", "Color Photo"}));
    EXPECT_EQ(SelectedEntry(dialog), "Color Photo");
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, 1001))) << "buttons enabled with a scanner";
}

TEST_F(DialogWindow, EnableKeepsOnlyAllowedTypesAndSelectsByDepth) {
    // Allow BW and grey only; ask for 8-bit grey.
    TW_CAPABILITY capability{ICAP_PIXELTYPE, TWON_ENUMERATION, ::GlobalAlloc(GHND, 14 + 4)};
    auto* enumeration = static_cast<TW_ENUMERATION*>(::GlobalLock(capability.hContainer));
    enumeration->ItemType = TWTY_UINT16;
    enumeration->NumItems = 2;
    enumeration->CurrentIndex = 1;
    reinterpret_cast<TW_UINT16*>(enumeration->ItemList)[0] = TWPT_BW;
    reinterpret_cast<TW_UINT16*>(enumeration->ItemList)[1] = TWPT_GRAY;
    ::GlobalUnlock(capability.hContainer);
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability), TWRC_SUCCESS);
    ::GlobalFree(capability.hContainer);
    TW_CAPABILITY depth{ICAP_BITDEPTH, TWON_ONEVALUE, ::GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
    auto* one = static_cast<TW_ONEVALUE*>(::GlobalLock(depth.hContainer));
    one->ItemType = TWTY_UINT16;
    one->Item = 8;
    ::GlobalUnlock(depth.hContainer);
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &depth), TWRC_SUCCESS);
    ::GlobalFree(depth.hContainer);

    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(ListEntries(dialog), (std::vector<std::string>{"BW Drawing", "BW Photo"}));
    EXPECT_EQ(SelectedEntry(dialog), "BW Photo");
}

TEST_F(DialogWindow, FinalScanButtonMakesTheTransferReady) {
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    ClickButton(dialog, 1001);
    std::vector<RecordedNotification> notes = Notifications();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].msg, MSG_XFERREADY);
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS) << "state 600";
}

TEST_F(DialogWindow, UserClosingAsksToBeClosedWithoutStateChange) {
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    ::SendMessageA(dialog, WM_CLOSE, 0, 0);
    PumpMessages();
    std::vector<RecordedNotification> notes = Notifications();
    ASSERT_EQ(notes.size(), 1u) << "one MSG_CLOSEDSREQ for one close";
    EXPECT_EQ(notes[0].msg, MSG_CLOSEDSREQ);
    EXPECT_EQ(harness.Enable(true), TWRC_FAILURE) << "still in state 500";
    EXPECT_EQ(harness.Status(), TWCC_SEQERROR);
    EXPECT_EQ(harness.Disable(), TWRC_SUCCESS) << "state 500 disables";
}

TEST_F(DialogWindow, EscapeAsksToBeClosed) {
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].msg, MSG_CLOSEDSREQ);
}

TEST_F(DialogWindow, SystemMenuCarriesTheAboutBox) {
    HMENU menu = ::GetSystemMenu(dialog, FALSE);
    ASSERT_NE(menu, nullptr);
    char text[64] = {};
    EXPECT_GT(::GetMenuStringA(menu, 16, text, sizeof text, MF_BYCOMMAND), 0);
    EXPECT_STREQ(text, "&About Vorel Source");
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    for (WPARAM command : {16u, 31u, 32u}) {
        ClearAnsweredBoxes();
        ::SendMessageA(dialog, WM_SYSCOMMAND, command, 0);  // returns once the watcher closed the box
        bool about = false;
        for (const AnsweredBox& box : AnsweredBoxes()) about |= box.caption == "About Vorel Source";
        EXPECT_EQ(about, command != 32) << "system command " << command;
    }
}

TEST_F(DialogWindow, ProcessEventHandsDialogMessagesToTheDialog) {
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    MSG message{};
    message.hwnd = ::GetDlgItem(dialog, 1002);
    message.message = WM_KEYDOWN;
    message.wParam = VK_TAB;
    TW_EVENT event{&message, 0x1234};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_NULL);
    MSG other{};
    other.hwnd = nullptr;
    other.message = WM_TIMER;
    TW_EVENT notOurs{&other, 0x1234};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &notOurs), TWRC_NOTDSEVENT);
    EXPECT_EQ(notOurs.TWMessage, 0x1234);
    TW_EVENT unreadable{reinterpret_cast<void*>(0x20), 0x1234};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &unreadable), TWRC_NOTDSEVENT);
}

TEST_F(DialogWindow, ScreenshotAfterPreviewScan) {
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    ClickButton(dialog, 1000);  // "Preview Scan"
    ::UpdateWindow(dialog);
    PumpMessages();
    ::Sleep(200);
    PumpMessages();
    std::string path = OutputFolder() + "dialog.bmp";
    EXPECT_TRUE(CaptureWindow(dialog, path)) << path;
}

namespace {

// Inside the About box's own message loop: once the box has been on screen
// for a few ticks, take its picture and close it. The watcher is held
// meanwhile, and takes over again if no box came.
struct AboutPicture {
    std::string path;
    int ticks = 0;
    int ticksSeen = 0;
    bool taken = false;
} aboutPicture;

void CALLBACK TakeAboutPicture(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = ::FindWindowA("#32770", "About Vorel Source");
    if (++aboutPicture.ticks > 100) HoldBoxes(false);
    if (box == nullptr || !::IsWindowVisible(box)) return;
    ::RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (++aboutPicture.ticksSeen < 3) return;
    ::KillTimer(nullptr, timer);
    aboutPicture.taken = CaptureWindow(box, aboutPicture.path);
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

}  // namespace

TEST_F(DialogWindow, PictureOfTheAboutBox) {
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    PumpMessages();
    aboutPicture.path = OutputFolder() + "about.bmp";
    HoldBoxes(true);
    UINT_PTR timer = ::SetTimer(nullptr, 0, 100, TakeAboutPicture);
    ::SendMessageA(dialog, WM_SYSCOMMAND, 16, 0);  // returns once the box is closed
    ::KillTimer(nullptr, timer);
    HoldBoxes(false);
    EXPECT_TRUE(aboutPicture.taken) << aboutPicture.path;
}

TEST_F(DialogWindow, AboutBoxTemplateKeepsItsControls) {
    std::vector<TemplateItem> items = TemplateItems(harness.Module(), 100);
    ASSERT_EQ(items.size(), 4u) << "icon, two lines of text, OK";
    const struct {
        short x, y, cx, cy;
        WORD id;
        DWORD style;
    } expected[4] = {
        {11, 17, 20, 20, 131, WS_CHILD | WS_VISIBLE | SS_ICON},
        {40, 15, 119, 8, 0xFFFF, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX},
        {40, 30, 150, 8, 0xFFFF, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT},
        {178, 13, 32, 14, IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(items[i].x, expected[i].x) << "item " << i;
        EXPECT_EQ(items[i].y, expected[i].y) << "item " << i;
        EXPECT_EQ(items[i].cx, expected[i].cx) << "item " << i;
        EXPECT_EQ(items[i].cy, expected[i].cy) << "item " << i;
        EXPECT_EQ(items[i].id, expected[i].id) << "item " << i;
        EXPECT_EQ(items[i].style, expected[i].style) << "item " << i << " style";
    }
}

namespace {

// The controls beside the image type list: resolution, rotation, page size,
// brightness and contrast with their values.
constexpr int kSettingControls[] = {1004, 1005, 1006, 1007, 1008, 1009, 1010};

double MeanOfDib(HANDLE dib) {
    const auto* header = static_cast<const BITMAPINFOHEADER*>(::GlobalLock(dib));
    const int width = header->biWidth;
    const int height = std::abs(header->biHeight);
    const int entries = header->biBitCount == 8 ? 256 : 0;
    const BYTE* rows = reinterpret_cast<const BYTE*>(header) + header->biSize + 4 * entries;
    const int stride = ((width * header->biBitCount + 31) / 32) * 4;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * header->biBitCount / 8; ++x) sum += rows[y * stride + x];
    }
    ::GlobalUnlock(dib);
    return sum / (double(width) * height * header->biBitCount / 8);
}

}  // namespace

TEST_F(DialogWindow, SettingControlsSitBesideTheListWithinTheWindow) {
    RECT client{};
    ::GetClientRect(dialog, &client);
    const RECT preview = ControlRect(dialog, 1003);
    const RECT previewScan = ControlRect(dialog, 1000);
    for (int id : kSettingControls) {
        HWND control = ::GetDlgItem(dialog, id);
        ASSERT_NE(control, nullptr) << "control " << id;
        EXPECT_TRUE(::IsWindowVisible(control) || !::IsWindowVisible(dialog)) << "control " << id;
        const RECT rect = ControlRect(dialog, id);
        EXPECT_GE(rect.left, 0) << "control " << id;
        EXPECT_LT(rect.right, preview.left) << "control " << id << " left of the preview";
        EXPECT_GT(rect.top, ControlRect(dialog, 1002).top) << "control " << id << " below the image type";
        EXPECT_LE(rect.bottom, previewScan.top) << "control " << id << " above the buttons";
    }
}

// What the user sets in the dialog is what is scanned and what the
// capabilities answer: grey at 100 dpi, an A5 page, brightness raised.
TEST_F(DialogWindow, SettingsChosenInTheDialogAreScanned) {
    double means[2] = {};
    const int brightness[2] = {0, 600};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE("brightness " + std::to_string(brightness[i]));
        ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
        PumpMessages();
        ASSERT_TRUE(PickEntry(dialog, 1002, "BW Photo"));
        ASSERT_TRUE(PickEntry(dialog, 1004, "100 dpi"));
        ASSERT_TRUE(PickEntry(dialog, 1006, "A5"));
        Slide(dialog, 1007, brightness[i]);
        char value[16] = {};
        ::GetDlgItemTextA(dialog, 1009, value, sizeof value);
        EXPECT_EQ(std::string(value), std::to_string(brightness[i])) << "the slider's value is shown";
        TW_CAPABILITY cap{ICAP_XRESOLUTION, 0, nullptr};
        ASSERT_EQ(harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &cap), TWRC_SUCCESS);
        const auto* one = static_cast<const TW_ONEVALUE*>(::GlobalLock(cap.hContainer));
        EXPECT_EQ(static_cast<TW_INT16>(one->Item & 0xFFFF), 100) << "MSG_GETCURRENT ICAP_XRESOLUTION";
        ::GlobalUnlock(cap.hContainer);
        ::GlobalFree(cap.hContainer);

        ClickButton(dialog, 1001);
        ASSERT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, 1004))) << "held while the image is pending";
        TW_IMAGEINFO info{};
        ASSERT_EQ(harness.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        EXPECT_EQ(info.XResolution.Whole, 100);
        EXPECT_EQ(info.BitsPerPixel, 8);
        EXPECT_NEAR(info.ImageWidth, 583, 1) << "148 mm at 100 dpi";
        EXPECT_NEAR(info.ImageLength, 827, 1) << "210 mm at 100 dpi";
        TW_HANDLE dib = nullptr;
        ASSERT_EQ(harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
        means[i] = MeanOfDib(dib);
        ::GlobalFree(dib);
        TW_PENDINGXFERS pending{};
        ASSERT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, 1004))) << "free again once nothing is pending";
        ASSERT_EQ(harness.Disable(), TWRC_SUCCESS);
    }
    EXPECT_GT(means[1], means[0] + 10) << "brightness 600 lightens the page";
}

TEST_F(DialogWindow, ResolutionListIsWhatTheApplicationAllows) {
    TW_CAPABILITY capability{ICAP_XRESOLUTION, TWON_RANGE, ::GlobalAlloc(GHND, sizeof(TW_RANGE))};
    auto* range = static_cast<TW_RANGE*>(::GlobalLock(capability.hContainer));
    range->ItemType = TWTY_FIX32;
    range->MinValue = 100;
    range->MaxValue = 600;
    range->StepSize = 100;
    range->DefaultValue = 200;
    range->CurrentValue = 200;
    ::GlobalUnlock(capability.hContainer);
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability), TWRC_SUCCESS);
    ::GlobalFree(capability.hContainer);
    ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(ListEntries(dialog, 1004), (std::vector<std::string>{"100 dpi", "200 dpi", "300 dpi", "600 dpi"}));
    EXPECT_EQ(SelectedEntry(dialog, 1004), "200 dpi");
}
