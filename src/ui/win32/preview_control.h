// The preview control (control 1003) on Windows: sized to the preview
// image, painting the preview buffer in the chosen image type with the
// region's tracker on top, and letting the user drag the region.
#pragma once

#include <windows.h>

// The notification code of the WM_COMMAND the control sends its dialog
// when the user has drawn, moved or cleared the region.
constexpr int kPreviewRegionChanged = 0x0100;

class PreviewWindow;
class RegionTracker;

class PreviewControl {
public:
    ~PreviewControl();
    void Attach(HWND control, PreviewWindow* data);
    void Detach();
    HWND Handle() const { return hwnd_; }
    void Render(unsigned paletteEntries, unsigned bitsPerPixel);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void PaintBesideTheImage(HDC dc);
    LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);
    BOOL OnQueryNewPalette();
    void OnPaletteChanged(HWND changedBy);

    void SetupTracker(RegionTracker& tracker) const;
    void ReplacePalette(HDC dc, unsigned paletteEntries, unsigned bitsPerPixel);
    void ReleaseBitmap();
    void ReleasePalette();

    HWND hwnd_ = nullptr;
    WNDPROC original_ = nullptr;
    PreviewWindow* data_ = nullptr;
    HBITMAP dib_ = nullptr;
    HPALETTE palette_ = nullptr;
};
