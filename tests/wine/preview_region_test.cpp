// The preview under Wine: its size, the region dragged with the mouse and
// read back through DAT_IMAGELAYOUT, the region the application locks, the
// cursor over it, the white preview in every image type, and pictures of
// the dialog for people to look at. Drags are driven by posting the moves
// and the release to the preview before sending the press: the tracking
// loop inside the press takes them from this thread's queue.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "source_harness.h"
#include "window_helpers.h"

namespace {

constexpr int kPreviewId = 1003;

struct Region {
    long left, top, right, bottom;
};

bool operator==(const Region& a, const Region& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& out, const Region& r) {
    return out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

// The default unit counts 1/300 inch, the source's own.
long ToInternal(const TW_FIX32& value) { return std::lround(value.Whole + value.Frac / 65536.0); }

TW_FIX32 Inches(int whole) { return TW_FIX32{static_cast<TW_INT16>(whole), 0}; }

struct Drag {
    enum Kind { Move, Release, Escape } kind;
    int x, y;
};

class PreviewRegion : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(harness.Open(), TWRC_SUCCESS) << "MSG_OPENDS, cc " << harness.Status(); }
    void TearDown() override {
        if (enabled) harness.Disable();
        harness.Close();
    }

    void Show() {
        ASSERT_EQ(harness.Enable(true), TWRC_SUCCESS) << "MSG_ENABLEDS, cc " << harness.Status();
        enabled = true;
        dialog = FindSourceDialog();
        ASSERT_NE(dialog, nullptr);
        preview = ::GetDlgItem(dialog, kPreviewId);
        ASSERT_NE(preview, nullptr);
        ::GetClientRect(preview, &client);
        Settle();
    }

    void Settle() {
        PumpMessages();
        ::UpdateWindow(dialog);
        PumpMessages();
    }

    // The region in 1/300 inch as the application reads it (inches, the
    // default unit).
    Region Layout() {
        TW_IMAGELAYOUT layout{};
        EXPECT_EQ(harness.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
        return Region{ToInternal(layout.Frame.Left), ToInternal(layout.Frame.Top), ToInternal(layout.Frame.Right),
                      ToInternal(layout.Frame.Bottom)};
    }

    // Presses the left button at x, y on the preview with the given moves
    // queued for its tracking loop; the last entry must end the drag.
    void Press(int x, int y, const std::vector<Drag>& steps) {
        for (const Drag& step : steps) {
            switch (step.kind) {
                case Drag::Move:
                    ::PostMessageA(preview, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(step.x, step.y));
                    break;
                case Drag::Release:
                    ::PostMessageA(preview, WM_LBUTTONUP, 0, MAKELPARAM(step.x, step.y));
                    break;
                case Drag::Escape:
                    ::PostMessageA(preview, WM_KEYDOWN, VK_ESCAPE, 0);
                    break;
            }
        }
        ::SendMessageA(preview, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        // Whatever a refused press left queued must not reach a later drag.
        MSG message;
        while (::PeekMessageA(&message, preview, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
        while (::PeekMessageA(&message, preview, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) {
        }
        Settle();
    }

    COLORREF PixelAt(int x, int y) {
        HDC dc = ::GetDC(preview);
        COLORREF colour = ::GetPixel(dc, x, y);
        ::ReleaseDC(preview, dc);
        return colour;
    }

    // The cursor the preview sets with the mouse at x, y of its client area,
    // or null when it leaves the cursor to the default handling.
    HCURSOR CursorAt(int x, int y) {
        POINT at{x, y};
        ::ClientToScreen(preview, &at);
        ::SetCursorPos(at.x, at.y);
        ::SetCursor(nullptr);
        LRESULT set = ::SendMessageA(preview, WM_SETCURSOR, reinterpret_cast<WPARAM>(preview),
                                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return set ? ::GetCursor() : nullptr;
    }

    void Capture(const char* name) {
        Settle();
        EXPECT_TRUE(CaptureWindow(dialog, OutputFolder() + name)) << name;
    }

    SourceHarness harness;
    bool enabled = false;
    HWND dialog = nullptr;
    HWND preview = nullptr;
    RECT client{};  // the region's bounds
};

}  // namespace

TEST_F(PreviewRegion, ControlIsTheImageWithABorder) {
    Show();
    RECT window{};
    ::GetWindowRect(preview, &window);
    EXPECT_EQ(window.right - window.left, 255 + 4) << "30 dpi preview of an 8.5 inch bed, plus 4";
    EXPECT_EQ(window.bottom - window.top, 420 + 4);
    // A one-pixel border: the client area, and with it the region's bounds,
    // is the image and one pixel more on every side.
    EXPECT_EQ(client.right, 255 + 2);
    EXPECT_EQ(client.bottom, 420 + 2);
    EXPECT_EQ(Layout(), (Region{0, 0, 2550, 4200})) << "the whole bed before any drag";
}

TEST_F(PreviewRegion, DragSelectsTheRegion) {
    Show();
    Press(10, 10, {{Drag::Move, 20, 20}, {Drag::Move, 40, 50}, {Drag::Release, 40, 50}});
    EXPECT_EQ(Layout(), (Region{100, 100, 400, 500}));

    Press(100, 200, {{Drag::Move, 180, 300}, {Drag::Release, 200, 330}});
    EXPECT_EQ(Layout(), (Region{1000, 2000, 2000, 3300})) << "a second rubber band replaces the first";
    Capture("preview_region_drag.bmp");
    // The region 100, 200, 200, 330 carries solid corner handles on its own
    // edge pixels, and nothing just outside it.
    for (int d = 0; d < 36; ++d) {
        EXPECT_EQ(PixelAt(100 + d % 6, 200 + d / 6), RGB(0, 0, 0)) << "top-left handle, pixel " << d;
        EXPECT_EQ(PixelAt(194 + d % 6, 324 + d / 6), RGB(0, 0, 0)) << "bottom-right handle, pixel " << d;
    }
    EXPECT_EQ(PixelAt(99, 200), RGB(255, 255, 255)) << "left of the region";
    EXPECT_EQ(PixelAt(200, 329), RGB(255, 255, 255)) << "right of the region";

    Press(150, 260, {{Drag::Move, 200, 300}, {Drag::Release, 400, 600}});
    const long right = client.right * 10, bottom = client.bottom * 10;
    const Region flush{right - 1000, bottom - 1300, right, bottom};
    EXPECT_EQ(Layout(), flush) << "moved flush with the client area's right and bottom";

    Press(client.right - 50, client.bottom - 60, {{Drag::Move, 100, 100}, {Drag::Escape, 0, 0}});
    EXPECT_EQ(Layout(), flush) << "Escape leaves a moved region";
}

TEST_F(PreviewRegion, RubberBandStopsAtTheEdgeAndSmallOnesClear) {
    Show();
    Press(200, 380, {{Drag::Move, 300, 450}, {Drag::Release, 600, 900}});
    EXPECT_EQ(Layout(), (Region{2000, 3800, client.right * 10, client.bottom * 10})) << "stops at the client area's edge";

    Press(10, 10, {{Drag::Move, 25, 30}, {Drag::Release, 25, 45}});
    EXPECT_EQ(Layout(), (Region{0, 0, 0, 0})) << "15 pixels wide: collapsed, nothing selected";

    Press(10, 10, {{Drag::Move, 50, 50}, {Drag::Move, 12, 12}, {Drag::Release, 11, 11}});
    EXPECT_EQ(Layout(), (Region{100, 100, 300, 300})) << "once 20 x 20, it keeps 20 x 20";

    Press(100, 100, {{Drag::Release, 100, 100}});
    EXPECT_EQ(Layout(), (Region{0, 0, 0, 0})) << "a click outside the region clears it";
}

// A region touching the image's right and bottom edges draws into the
// strip between the image and the border; once it is cleared the strip
// holds no piece of it.
TEST_F(PreviewRegion, NothingOfAClearedRegionStaysBesideTheImage) {
    Show();
    Press(150, 300, {{Drag::Move, 300, 450}, {Drag::Release, 600, 900}});
    ASSERT_EQ(Layout(), (Region{1500, 3000, client.right * 10, client.bottom * 10})) << "to the client area's edge";
    Press(20, 20, {{Drag::Release, 20, 20}});
    ASSERT_EQ(Layout(), (Region{0, 0, 0, 0})) << "cleared";
    ::InvalidateRect(preview, nullptr, FALSE);
    Settle();
    const COLORREF background = ::GetSysColor(COLOR_3DFACE);
    int leftovers = 0;
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) {
            const bool beside = x >= client.right - 2 || y >= client.bottom - 2;
            if (beside && PixelAt(x, y) != background) ++leftovers;
        }
    }
    EXPECT_EQ(leftovers, 0) << "pixels beside the image that are not the dialog's background";
    Capture("preview_region_cleared.bmp");
}

TEST_F(PreviewRegion, LockedRegionIgnoresPressesAndShowsNoHandles) {
    TW_IMAGELAYOUT layout{};
    layout.Frame = TW_FRAME{Inches(1), Inches(0), Inches(6), Inches(10)};
    ASSERT_EQ(harness.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
    Show();
    const Region locked{300, 0, 1800, 3000};
    EXPECT_EQ(Layout(), locked);

    Press(100, 150, {{Drag::Move, 120, 170}, {Drag::Release, 140, 190}});
    EXPECT_EQ(Layout(), locked) << "a press on the region moves nothing";
    Press(220, 400, {{Drag::Release, 240, 410}});
    EXPECT_EQ(Layout(), locked) << "a press outside clears nothing";

    // Nothing to grab: the default cursor everywhere, and the handles' squares
    // (solid black, inside the corners of the region at 30, 0, 180, 300) are
    // not drawn on the white preview.
    for (const POINT at : {POINT{100, 150}, POINT{178, 298}, POINT{31, 150}, POINT{220, 400}}) {
        EXPECT_EQ(CursorAt(at.x, at.y), nullptr) << at.x << ", " << at.y;
    }
    EXPECT_NE(PixelAt(177, 297), RGB(0, 0, 0)) << "bottom-right handle drawn";
    EXPECT_NE(PixelAt(32, 2), RGB(0, 0, 0)) << "top-left handle drawn";
    Capture("preview_region_locked.bmp");
}

TEST_F(PreviewRegion, WhitePreviewIsWhiteInEveryImageType) {
    Show();
    HDC screen = ::GetDC(nullptr);
    const bool paletteDisplay = (::GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0;
    ::ReleaseDC(nullptr, screen);
    RecordProperty("PaletteDisplay", paletteDisplay ? 1 : 0);

    HWND list = ::GetDlgItem(dialog, 1002);
    const int count = static_cast<int>(::SendMessageA(list, CB_GETCOUNT, 0, 0));
    ASSERT_EQ(count, 3);
    for (int index = 0; index < count; ++index) {
        ::SendMessageA(list, CB_SETCURSEL, index, 0);
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1002, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        ::InvalidateRect(preview, nullptr, FALSE);
        Settle();
        for (POINT at : {POINT{0, 0}, POINT{127, 210}, POINT{254, 419}}) {
            EXPECT_EQ(PixelAt(at.x, at.y), RGB(255, 255, 255))
                << "image type " << index << " at " << at.x << ", " << at.y
                << (paletteDisplay ? " (palette display)" : "");
        }
    }
}

TEST_F(PreviewRegion, PicturesOfAPreviewScanWithARegion) {
    Show();
    ClickButton(dialog, 1000);  // Preview Scan
    Settle();
    Press(40, 60, {{Drag::Move, 120, 160}, {Drag::Release, 200, 300}});
    EXPECT_EQ(Layout(), (Region{400, 600, 2000, 3000}));
    char pageSize[32] = {};
    ::GetDlgItemTextA(dialog, 1006, pageSize, sizeof pageSize);
    EXPECT_STREQ(pageSize, "Region drawn") << "the page size list follows the drag";
    Capture("preview_region_color.bmp");

    HWND list = ::GetDlgItem(dialog, 1002);
    ::SendMessageA(list, CB_SETCURSEL, 0, 0);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1002, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    Capture("preview_region_bw.bmp");
    EXPECT_EQ(Layout(), (Region{400, 600, 2000, 3000})) << "a new image type keeps the region";
}
