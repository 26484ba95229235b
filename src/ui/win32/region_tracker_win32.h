// The rectangle tracker on a window: the tracking loop that feeds a drag
// from the thread's message queue while the window holds the mouse, the
// tracker's drawing (border and handles) and its cursors.
#pragma once

#include <windows.h>

#include "ui/region_tracker.h"

// Mouse events of one drag on `window`, taken from the thread's queue
// until the left button is released, Escape is pressed or the window loses
// the mouse. The dragged rectangle is shown as an inverted dotted frame.
class MessageLoopDrag : public DragInput {
public:
    explicit MessageLoopDrag(HWND window) : window_(window) {}
    ~MessageLoopDrag() override;

    bool Begin() override;
    DragEvent Next() override;
    void Show(const Rect32* previous, const Rect32* current) override;
    void End() override;

    // The window procedure's WM_CAPTURECHANGED: a drag on `window` that
    // loses the mouse to another window ends as if Escape was pressed.
    static void CaptureChanged(HWND window, HWND newCapture);

private:
    void Frame(const Rect32& rect);

    HWND window_;
    bool captured_ = false;
    bool captureLost_ = false;
};

// Draws the tracker's border and visible handles on `dc`.
void DrawTracker(HDC dc, const RectTracker& tracker);

// For WM_SETCURSOR: when the mouse is in the client area over the tracker
// or one of its handles, sets the matching cursor and returns true.
bool SetTrackerCursor(HWND window, const RectTracker& tracker, UINT hitTestCode);
