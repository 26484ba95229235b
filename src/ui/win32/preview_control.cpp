// The preview control: the static control 1003, subclassed so that it
// paints the preview buffer rendered into a DIB section of the chosen image
// type.
#include "ui/win32/preview_control.h"

#include <vector>

#include "imaging/dib_format.h"
#include "imaging/pixel_conversion.h"
#include "ui/preview_window.h"

namespace {
const char kInstanceProperty[] = "VorelPreviewControl";
}

PreviewControl::~PreviewControl() {
    Detach();
    ReleaseBitmap();
}

void PreviewControl::Attach(HWND control, PreviewWindow* data) {
    Detach();
    if (control == nullptr) return;
    hwnd_ = control;
    data_ = data;
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

LRESULT PreviewControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        Paint();
        return 0;
    }
    return ::CallWindowProcA(original_, hwnd_, message, wParam, lParam);
}

void PreviewControl::Render(unsigned paletteEntries, unsigned bitsPerPixel) {
    if (hwnd_ == nullptr || data_ == nullptr) return;
    const Rect32& image = data_->imageRect;
    int width = image.Width() > 0 ? image.Width() : 0;
    int height = image.Height() > 0 ? image.Height() : 0;
    ::SetWindowPos(hwnd_, nullptr, 0, 0, width + 4, height + 4, SWP_NOMOVE | SWP_NOZORDER);

    std::vector<std::uint8_t> info(40 + 4 * static_cast<std::size_t>(paletteEntries) + 4, 0);
    FillDibHeader(info.data(), width, height, bitsPerPixel, 1);
    FillGreyColorTable(paletteEntries, info.data() + 40);

    ReleaseBitmap();
    if (width > 0 && height > 0) {
        HDC dc = ::GetDC(hwnd_);
        void* bits = nullptr;
        dib_ = ::CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
        ::ReleaseDC(hwnd_, dc);
        std::size_t needed = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
        if (dib_ != nullptr && bits != nullptr && data_->buffer() != nullptr && data_->bufferSize() >= needed) {
            ConvertRows(bitsPerPixel, bits, data_->buffer(), width, height);
        }
    }
    ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void PreviewControl::Paint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd_, &paint);
    if (dib_ != nullptr && data_ != nullptr) {
        HDC memory = ::CreateCompatibleDC(dc);
        HGDIOBJ old = ::SelectObject(memory, dib_);
        const Rect32& image = data_->imageRect;
        ::BitBlt(dc, image.left, image.top, image.Width(), image.Height(), memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
        ::DeleteDC(memory);
    }
    ::EndPaint(hwnd_, &paint);
}
