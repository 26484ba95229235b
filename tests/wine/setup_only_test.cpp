// The real dialog opened for set-up only: "OK" keeps the image type picked
// there (MSG_CLOSEDSOK) for a later scan without the dialog. Also its picture.
#include <gtest/gtest.h>

#include "source_harness.h"
#include "window_helpers.h"

TEST(SetupOnly, OkKeepsTheImageTypeForTheNextScan) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    TW_USERINTERFACE ui{0, 0, nullptr};
    ASSERT_EQ(harness.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui), TWRC_SUCCESS);
    HWND dialog = FindSourceDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(::IsWindowVisible(dialog)) << "shown with ShowUI FALSE";
    char text[64] = {};
    ::GetDlgItemTextA(dialog, 1001, text, sizeof text);
    EXPECT_STREQ(text, "OK");

    ClickButton(dialog, 1000);  // Preview Scan
    HWND list = ::GetDlgItem(dialog, 1002);
    ::SendMessageA(list, CB_SETCURSEL, 1, 0);  // "BW Photo"
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1002, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    ::UpdateWindow(dialog);
    PumpMessages();
    EXPECT_TRUE(CaptureWindow(dialog, OutputFolder() + "setup_only.bmp"));
    ClickButton(dialog, 1001);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].msg, MSG_CLOSEDSOK);
    ASSERT_EQ(harness.Disable(), TWRC_SUCCESS);

    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS) << "cc " << harness.Status();
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    EXPECT_EQ(static_cast<const BITMAPINFOHEADER*>(::GlobalLock(dib))->biBitCount, 8) << "the grey chosen";
    ::GlobalUnlock(dib);
    ::GlobalFree(dib);
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
}
