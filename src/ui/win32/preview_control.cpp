// The preview control: the static control 1003, subclassed so that it
// paints the preview buffer rendered into a DIB section of the chosen image
// type, draws the region's tracker, and turns presses of the left button
// into region drags. What a drag does to the region is PreviewWindow's;
// this file only connects it to the window.
#include "ui/win32/preview_control.h"

#include <cstddef>

#include "imaging/dib_format.h"
#include "imaging/pixel_conversion.h"
#include "platform/global_memory.h"
#include "ui/preview_window.h"
#include "ui/region_tracker.h"
#include "ui/win32/region_tracker_win32.h"

namespace {

const char kInstanceProperty[] = "VorelPreviewControl";
// A colour table and a logical palette never hold more than an 8-bit image's.
constexpr unsigned kMaxPaletteEntries = 256;

Rect32 ClientRect(HWND hwnd) {
    RECT client{};
    ::GetClientRect(hwnd, &client);
    return Rect32{client.left, client.top, client.right, client.bottom};
}

RECT ToRect(const Rect32& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// The tracker drawn on the region shrunk by one pixel: the tracker draws
// one pixel outside its rectangle, so its border ends up on the region's
// edge pixels and does not cover the pixels just outside it.
void DrawInset(HDC dc, RegionTracker& tracker) {
    const Rect32 saved = tracker.rect;
    tracker.rect = Normalized(tracker.rect);
    if (!tracker.rect.IsEmpty()) {
        tracker.rect = InsetForDrawing(tracker.rect);
        DrawTracker(dc, tracker);
    }
    tracker.rect = saved;
}

}  // namespace

PreviewControl::~PreviewControl() {
    Detach();
    ReleaseBitmap();
    ReleasePalette();
}

void PreviewControl::Attach(HWND control, PreviewWindow* data) {
    Detach();
    if (control == nullptr) return;
    hwnd_ = control;
    data_ = data;
    // The dialog manager turns the template's border into a sunken 3-D
    // edge; the preview keeps a plain one-pixel border, so that its client
    // area is the image and one pixel on every side.
    LONG_PTR extended = ::GetWindowLongPtrA(hwnd_, GWL_EXSTYLE);
    if (extended & WS_EX_CLIENTEDGE) {
        ::SetWindowLongPtrA(hwnd_, GWL_EXSTYLE, extended & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE));
        ::SetWindowLongPtrA(hwnd_, GWL_STYLE, ::GetWindowLongPtrA(hwnd_, GWL_STYLE) | WS_BORDER);
        ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    ::SetPropA(hwnd_, kInstanceProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PreviewControl::Procedure)));
}

void PreviewControl::Detach() {
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        ::RemovePropA(hwnd_, kInstanceProperty);
    }
    hwnd_ = nullptr;
    original_ = nullptr;
}

void PreviewControl::ReleaseBitmap() {
    if (dib_ != nullptr) ::DeleteObject(dib_);
    dib_ = nullptr;
}

void PreviewControl::ReleasePalette() {
    if (palette_ != nullptr) ::DeleteObject(palette_);
    palette_ = nullptr;
}

LRESULT CALLBACK PreviewControl::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<PreviewControl*>(::GetPropA(hwnd, kInstanceProperty));
    if (self == nullptr) return ::DefWindowProcA(hwnd, message, wParam, lParam);
    WNDPROC original = self->original_;
    if (message == WM_NCDESTROY) {
        self->Detach();
        return ::CallWindowProcA(original, hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT PreviewControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcA(original_, hwnd_, message, wParam, lParam);
}

LRESULT PreviewControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
            return OnLButtonDown(wParam, lParam);
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_SETCURSOR:
            return OnSetCursor(wParam, lParam);
        case WM_QUERYNEWPALETTE:
            return OnQueryNewPalette();
        case WM_PALETTECHANGED:
            OnPaletteChanged(reinterpret_cast<HWND>(wParam));
            return 0;
        case WM_CAPTURECHANGED:
            MessageLoopDrag::CaptureChanged(hwnd_, reinterpret_cast<HWND>(lParam));
            return Default(message, wParam, lParam);
        default:
            return Default(message, wParam, lParam);
    }
}

void PreviewControl::SetupTracker(RegionTracker& tracker) const {
    data_->SetupTracker(tracker, data_->region, ClientRect(hwnd_));
}

LRESULT PreviewControl::OnLButtonDown(WPARAM wParam, LPARAM lParam) {
    if (data_ == nullptr) return Default(WM_LBUTTONDOWN, wParam, lParam);
    if (data_->regionLocked) return 0;
    const Point32 point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    const HWND window = hwnd_;
    MessageLoopDrag drag(window);
    const PreviewWindow::RegionChange change = data_->TrackRegion(point, ClientRect(window), drag);
    // The drag's loop dispatches other messages; if one of them destroyed
    // the window, there is nothing left to repaint or to pass the press to.
    if (hwnd_ != window || !::IsWindow(window)) return 0;
    if (change.changed) {
        RECT oldRegion = ToRect(change.oldRegion);
        ::InvalidateRect(hwnd_, &oldRegion, FALSE);
        RECT newRegion = ToRect(change.newRegion);
        ::InvalidateRect(hwnd_, &newRegion, FALSE);
        ::SendMessageA(::GetParent(window), WM_COMMAND,
                       MAKEWPARAM(::GetDlgCtrlID(window), kPreviewRegionChanged), reinterpret_cast<LPARAM>(window));
        if (hwnd_ != window || !::IsWindow(window)) return 0;
    }
    return Default(WM_LBUTTONDOWN, wParam, lParam);
}

void PreviewControl::OnPaint() {
    // The static control paints itself (and validates the window) first;
    // the image and the region go on top.
    Default(WM_PAINT, 0, 0);
    if (data_ == nullptr) return;
    HDC dc = ::GetDC(hwnd_);
    if (dc == nullptr) return;
    PaintBesideTheImage(dc);
    HPALETTE oldPalette = nullptr;
    if (palette_ != nullptr) {
        oldPalette = ::SelectPalette(dc, palette_, FALSE);
        ::RealizePalette(dc);
    }
    if (dib_ != nullptr) {
        HDC memory = ::CreateCompatibleDC(dc);
        if (memory != nullptr) {
            HGDIOBJ oldBitmap = ::SelectObject(memory, dib_);
            const Rect32& image = data_->imageRect;
            ::BitBlt(dc, image.left, image.top, image.Width(), image.Height(), memory, 0, 0, SRCCOPY);
            ::SelectObject(memory, oldBitmap);
            ::DeleteDC(memory);
        }
    }
    RECT region = ToRect(data_->region);
    if (!data_->region.IsEmpty() && ::RectVisible(dc, &region)) {
        RegionTracker tracker;
        SetupTracker(tracker);
        DrawInset(dc, tracker);
    }
    if (palette_ != nullptr) {
        ::SelectPalette(dc, oldPalette, TRUE);
        ::RealizePalette(dc);
    }
    ::ReleaseDC(hwnd_, dc);
}

// The client area is the image and a strip of a pixel or two to its right
// and below it, where a region touching those edges draws part of its
// border and handles. The static control does not paint that strip, so it
// is painted here in the dialog's background, or a moved or cleared region
// would leave pieces of itself behind.
void PreviewControl::PaintBesideTheImage(HDC dc) {
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const Rect32& image = data_->imageRect;
    HWND parent = ::GetParent(hwnd_);
    auto brush = reinterpret_cast<HBRUSH>(
        parent ? ::SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd_))
               : 0);
    if (brush == nullptr) brush = ::GetSysColorBrush(COLOR_3DFACE);
    const RECT right{image.right > 0 ? image.right : 0, 0, client.right, client.bottom};
    const RECT below{0, image.bottom > 0 ? image.bottom : 0, client.right, client.bottom};
    if (right.left < right.right) ::FillRect(dc, &right, brush);
    if (below.top < below.bottom) ::FillRect(dc, &below, brush);
}

LRESULT PreviewControl::OnSetCursor(WPARAM wParam, LPARAM lParam) {
    // A locked region's tracker offers nothing to grab: no sizing cursor.
    if (data_ != nullptr) {
        RegionTracker tracker;
        SetupTracker(tracker);
        if (SetTrackerCursor(hwnd_, tracker, LOWORD(lParam))) return TRUE;
    }
    return Default(WM_SETCURSOR, wParam, lParam);
}

BOOL PreviewControl::OnQueryNewPalette() {
    if (palette_ == nullptr) return FALSE;
    HDC dc = ::GetDC(hwnd_);
    if (dc == nullptr) return FALSE;
    HPALETTE old = ::SelectPalette(dc, palette_, FALSE);
    const UINT realized = ::RealizePalette(dc);
    ::SelectPalette(dc, old, TRUE);
    ::RealizePalette(dc);
    ::ReleaseDC(hwnd_, dc);
    const bool changed = realized != GDI_ERROR && realized > 0;
    if (changed) ::InvalidateRect(hwnd_, nullptr, TRUE);
    return changed ? TRUE : FALSE;
}

void PreviewControl::OnPaletteChanged(HWND changedBy) {
    if (changedBy != hwnd_) OnQueryNewPalette();
}

void PreviewControl::ReplacePalette(HDC dc, unsigned paletteEntries, unsigned bitsPerPixel) {
    ReleasePalette();
    if (bitsPerPixel == 24) {
        palette_ = ::CreateHalftonePalette(dc);
        return;
    }
    struct {
        WORD version;
        WORD count;
        PALETTEENTRY entries[kMaxPaletteEntries];
    } logical{};
    static_assert(sizeof(PALETTEENTRY) == sizeof(PaletteEntry), "palette entry layout");
    const unsigned count = paletteEntries < kMaxPaletteEntries ? paletteEntries : kMaxPaletteEntries;
    logical.version = 0x300;
    logical.count = static_cast<WORD>(count);
    FillPaletteEntries(count, reinterpret_cast<PaletteEntry*>(logical.entries));
    palette_ = ::CreatePalette(reinterpret_cast<LOGPALETTE*>(&logical));
}

void PreviewControl::Render(unsigned paletteEntries, unsigned bitsPerPixel) {
    if (hwnd_ == nullptr || data_ == nullptr) return;
    const Rect32& image = data_->imageRect;
    const int width = image.Width() > 0 ? image.Width() : 0;
    const int height = image.Height() > 0 ? image.Height() : 0;
    ::SetWindowPos(hwnd_, nullptr, 0, 0, width + 4, height + 4, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    const unsigned entries = paletteEntries < kMaxPaletteEntries ? paletteEntries : kMaxPaletteEntries;
    platform::GlobalHandle headerBlock =
        platform::GlobalAllocate(platform::kGmemMoveable | platform::kGmemZeroInit, entries * kColorTableEntrySize + 44);
    void* header = headerBlock != nullptr ? platform::GlobalLockBlock(headerBlock) : nullptr;
    if (header == nullptr) {
        // Without a header the previous picture stays and is painted again.
        if (headerBlock != nullptr) platform::GlobalFreeBlock(headerBlock);
        ::InvalidateRect(hwnd_, nullptr, FALSE);
        return;
    }

    HDC dc = ::GetDC(hwnd_);
    // A palette only matters on a palette display (or one that counts its
    // colours); a true-colour display answers -1 and keeps what it has.
    int colours = -1;
    if (dc != nullptr) {
        colours = (::GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0 ? ::GetDeviceCaps(dc, SIZEPALETTE)
                                                                     : ::GetDeviceCaps(dc, NUMCOLORS);
    }
    if (colours != -1) ReplacePalette(dc, entries, bitsPerPixel);

    FillDibHeader(header, width, height, bitsPerPixel, 1);
    FillGreyColorTable(entries, static_cast<std::uint8_t*>(header) + kDibHeaderSize);

    ReleaseBitmap();
    void* bits = nullptr;
    dib_ = ::CreateDIBSection(dc, static_cast<BITMAPINFO*>(header), DIB_RGB_COLORS, &bits, nullptr, 0);
    // Only a buffer that holds the whole picture is converted; a DIB section
    // that could not be made gets nothing.
    const std::size_t needed = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    if (dib_ != nullptr && bits != nullptr && data_->buffer() != nullptr && data_->bufferSize() >= needed) {
        ConvertRows(bitsPerPixel, bits, data_->buffer(), width, height, data_->levels);
        ::GdiFlush();
    }

    ::InvalidateRect(hwnd_, nullptr, FALSE);
    if (dc != nullptr) ::ReleaseDC(hwnd_, dc);
    platform::GlobalUnlockBlock(headerBlock);
    platform::GlobalFreeBlock(headerBlock);
}
