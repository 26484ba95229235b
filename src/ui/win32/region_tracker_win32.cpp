// The rectangle tracker on Windows. The drag's geometry is the portable
// tracker's; this file only captures the mouse, turns queued messages into
// drag events, draws the dragged frame with XOR (so that drawing it again
// removes it) and draws the tracker's border and handles.
#include "ui/win32/region_tracker_win32.h"

namespace {

// The one drag in progress; the source runs on one thread and a drag's
// loop does not return until it ends, so there is never more than one.
MessageLoopDrag* activeDrag = nullptr;
HWND activeWindow = nullptr;

RECT ToRect(const Rect32& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

Point32 ClientPoint(LPARAM lParam) {
    // Signed: the captured mouse reports positions left of and above the
    // window as negative values.
    return Point32{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

}  // namespace

MessageLoopDrag::~MessageLoopDrag() {
    if (activeDrag == this) {
        activeDrag = nullptr;
        activeWindow = nullptr;
    }
    if (captured_ && ::GetCapture() == window_) ::ReleaseCapture();
}

bool MessageLoopDrag::Begin() {
    if (window_ == nullptr || activeDrag != nullptr) return false;
    // Paint what is pending first, so that the XOR frame is drawn on the
    // final picture and can be taken off it again.
    ::UpdateWindow(window_);
    activeDrag = this;
    activeWindow = window_;
    ::SetCapture(window_);
    captured_ = ::GetCapture() == window_;
    if (!captured_) {
        activeDrag = nullptr;
        activeWindow = nullptr;
    }
    return captured_;
}

void MessageLoopDrag::CaptureChanged(HWND window, HWND newCapture) {
    if (activeDrag != nullptr && activeWindow == window && newCapture != window) activeDrag->captureLost_ = true;
}

DragEvent MessageLoopDrag::Next() {
    MSG message;
    for (;;) {
        // A window that lost the mouse or went away (a dispatched message
        // may close the source) ends the drag.
        if (captureLost_ || !::IsWindow(window_)) return DragEvent{DragEvent::Cancel, Point32{}};
        BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // Leave the quit request for the application's own loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return DragEvent{DragEvent::Cancel, Point32{}};
        }
        if (got < 0) return DragEvent{DragEvent::Cancel, Point32{}};
        switch (message.message) {
            case WM_MOUSEMOVE:
                if (message.hwnd == window_) return DragEvent{DragEvent::Move, ClientPoint(message.lParam)};
                break;
            case WM_LBUTTONUP:
                if (message.hwnd == window_) return DragEvent{DragEvent::Release, ClientPoint(message.lParam)};
                break;
            case WM_KEYDOWN:
                if (message.wParam == VK_ESCAPE) return DragEvent{DragEvent::Cancel, Point32{}};
                continue;  // no other key acts while dragging
            default:
                break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

void MessageLoopDrag::Frame(const Rect32& rect) {
    Rect32 r = Normalized(rect);
    // A collapsed rectangle still shows as a line.
    if (r.right == r.left) ++r.right;
    if (r.bottom == r.top) ++r.bottom;
    RECT frame = ToRect(r);
    HDC dc = ::GetDC(window_);
    if (dc == nullptr) return;
    ::DrawFocusRect(dc, &frame);
    ::ReleaseDC(window_, dc);
}

void MessageLoopDrag::Show(const Rect32* previous, const Rect32* current) {
    if (previous != nullptr) Frame(*previous);
    if (current != nullptr) Frame(*current);
}

void MessageLoopDrag::End() {
    if (activeDrag == this) {
        activeDrag = nullptr;
        activeWindow = nullptr;
    }
    if (captured_ && ::GetCapture() == window_) ::ReleaseCapture();
    captured_ = false;
}

void DrawTracker(HDC dc, const RectTracker& tracker) {
    // A tracker with a border line is drawn one pixel outside its rectangle,
    // border and handles alike; the preview insets the region by one pixel
    // first, so that both land on the region's own edge pixels.
    RectTracker shape = tracker;
    shape.rect = Normalized(tracker.rect);
    const bool lined = (tracker.style & (solidLine | dottedLine)) != 0;
    if (lined) shape.rect = Rect32{shape.rect.left - 1, shape.rect.top - 1, shape.rect.right + 1, shape.rect.bottom + 1};
    const Rect32& r = shape.rect;
    if (lined) {
        // Black dots on white, visible on a dark preview as on a light one.
        HPEN pen = ::CreatePen((tracker.style & dottedLine) != 0 ? PS_DOT : PS_SOLID, 0, RGB(0, 0, 0));
        HGDIOBJ oldPen = ::SelectObject(dc, pen);
        HGDIOBJ oldBrush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
        int oldMode = ::SetBkMode(dc, OPAQUE);
        COLORREF oldBack = ::SetBkColor(dc, RGB(255, 255, 255));
        ::Rectangle(dc, r.left, r.top, r.right, r.bottom);
        ::SetBkColor(dc, oldBack);
        ::SetBkMode(dc, oldMode);
        ::SelectObject(dc, oldBrush);
        ::SelectObject(dc, oldPen);
        ::DeleteObject(pen);
    }
    if ((tracker.style & (resizeInside | resizeOutside)) != 0) {
        // Solid black squares: inverting them would punch the border's dots
        // out of every corner handle.
        const unsigned mask = tracker.HandleMask();
        for (int handle = hitTopLeft; handle <= hitLeft; ++handle) {
            if ((mask & (1u << handle)) == 0) continue;
            const Rect32 h = shape.HandleRect(handle);
            ::PatBlt(dc, h.left, h.top, h.Width(), h.Height(), BLACKNESS);
        }
    }
}

bool SetTrackerCursor(HWND window, const RectTracker& tracker, UINT hitTestCode) {
    if (hitTestCode != HTCLIENT) return false;
    POINT cursor{};
    if (!::GetCursorPos(&cursor) || !::ScreenToClient(window, &cursor)) return false;
    LPCSTR shape = nullptr;
    switch (CursorForHit(tracker.HitTest(Point32{cursor.x, cursor.y}))) {
        case TrackerCursor::SizeNWSE: shape = IDC_SIZENWSE; break;
        case TrackerCursor::SizeNESW: shape = IDC_SIZENESW; break;
        case TrackerCursor::SizeNS: shape = IDC_SIZENS; break;
        case TrackerCursor::SizeWE: shape = IDC_SIZEWE; break;
        case TrackerCursor::SizeAll: shape = IDC_SIZEALL; break;
        case TrackerCursor::None: return false;
    }
    ::SetCursor(::LoadCursorA(nullptr, shape));
    return true;
}
