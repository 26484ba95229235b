// The real dialog under Wine: its layout, list, buttons, the About box,
// closing by the user, and a picture of it for people to look at.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "source_harness.h"
#include "window_helpers.h"

namespace {

std::vector<std::string> ListEntries(HWND dialog) {
    std::vector<std::string> entries;
    HWND list = ::GetDlgItem(dialog, 1002);
    int count = static_cast<int>(::SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        ::SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

std::string SelectedEntry(HWND dialog) {
    HWND list = ::GetDlgItem(dialog, 1002);
    int selected = static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0));
    char text[64] = {};
    if (selected >= 0) ::SendMessageA(list, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text));
    return text;
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
