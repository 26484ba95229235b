// The preview control (control 1003) on Windows: sized to the preview image
// and painting the preview buffer in the chosen image type.
#pragma once

#include <windows.h>

class PreviewWindow;

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
    void Paint();
    void ReleaseBitmap();

    HWND hwnd_ = nullptr;
    WNDPROC original_ = nullptr;
    PreviewWindow* data_ = nullptr;
    HBITMAP dib_ = nullptr;
};
