// The source dialog's window on Windows: a modeless dialog from template
// 129. The dialog procedure decodes each message once and hands it to the
// SourceDialog; the SourceDialog reaches the controls through the small
// operations below.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "platform/message_box.h"
#include "platform/pointer_check.h"
#include "platform/strings.h"
#include "resources/resource_ids.h"
#include "ui/dialog_window.h"
#include "ui/source_dialog.h"
#include "ui/win32/combo_box.h"
#include "ui/win32/preview_control.h"

struct DialogWindow::Impl {
    explicit Impl(SourceDialog& dialog) : owner(dialog) {}

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnCommand(int id, int code);

    SourceDialog& owner;
    HWND hwnd = nullptr;
    HICON icon = nullptr;
    ComboBox list;
    PreviewControl preview;
    std::string scanButtonText;  // the scan button's text in the template
};

namespace {

// Centres a dialog that its start-up left where the template put it: over
// its owner when it has a visible one, else on the screen's work area, and
// always inside the work area.
void CentreWindow(HWND hwnd) {
    RECT work{};
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return;
    RECT area = work;
    HWND owner = ::GetWindow(hwnd, GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &area);
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    int x = (area.left + area.right - width) / 2;
    int y = (area.top + area.bottom - height) / 2;
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK SourceDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* impl = reinterpret_cast<DialogWindow::Impl*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (message == WM_INITDIALOG) {
        impl = reinterpret_cast<DialogWindow::Impl*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl));
        impl->hwnd = hwnd;
        impl->list.Attach(::GetDlgItem(hwnd, IDC_IMAGE_TYPE));
        char text[64] = {};
        ::GetDlgItemTextA(hwnd, IDC_FINAL_SCAN, text, sizeof text);
        impl->scanButtonText = text;
    }
    if (impl == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        impl->hwnd = nullptr;
        impl->list.Attach(nullptr);
        impl->preview.Detach();
        return FALSE;
    }
    // Nothing thrown may unwind through the window manager's frames into the
    // application: a message that fails is a message not handled.
    try {
        return impl->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR CALLBACK AboutDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CentreWindow(hwnd);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(hwnd, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR DialogWindow::Impl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            RECT before{};
            ::GetWindowRect(hwnd, &before);
            const BOOL focus = owner.OnInitDialog() ? TRUE : FALSE;
            RECT after{};
            ::GetWindowRect(hwnd, &after);
            if (before.left == after.left && before.top == after.top) CentreWindow(hwnd);
            return focus;
        }
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam));
        case WM_CLOSE:
            // The close request goes to the application once; the dialog
            // hides the window first, and MSG_CLOSEDS destroys it. The
            // application may close the source inside the request, which
            // frees this object: nothing of it is used afterwards.
            owner.OnClose();
            return TRUE;
        case WM_HSCROLL: {
            // The sliders report every move, the thumb's drag included, so
            // the preview follows the tone as it changes.
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id == IDC_BRIGHTNESS || id == IDC_CONTRAST) owner.OnSettingChange(id);
            return TRUE;
        }
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                owner.OnSysCommand(static_cast<unsigned>(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_QUERYNEWPALETTE: {
            LRESULT changed = preview.Handle() ? ::SendMessageA(preview.Handle(), WM_QUERYNEWPALETTE, 0, 0) : 0;
            ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, changed != 0);
            return TRUE;
        }
        case WM_PALETTECHANGED:
            if (preview.Handle()) ::SendMessageA(preview.Handle(), WM_PALETTECHANGED, wParam, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR DialogWindow::Impl::OnCommand(int id, int code) {
    switch (id) {
        case IDC_FINAL_SCAN:
            if (code == BN_CLICKED) owner.OnFinalScanButton();
            return TRUE;
        case IDC_PREVIEW_SCAN:
            if (code == BN_CLICKED) owner.OnPreviewScanButton();
            return TRUE;
        case IDC_IMAGE_TYPE:
            if (code == CBN_SELCHANGE) owner.OnImageTypeChange();
            return TRUE;
        case IDC_RESOLUTION:
        case IDC_ROTATION:
        case IDC_PAGE_SIZE:
            if (code == CBN_SELCHANGE) owner.OnSettingChange(id);
            return TRUE;
        case IDC_PREVIEW:
            if (code == kPreviewRegionChanged) owner.OnRegionChange();
            return TRUE;
        case IDCANCEL:
            // As the close box: the dialog hides the window, then asks.
            owner.OnCancel();
            return TRUE;
        default:
            return FALSE;
    }
}

DialogWindow::DialogWindow(SourceDialog& owner) : impl_(std::make_unique<Impl>(owner)) {
    impl_->icon = ::LoadIconA(static_cast<HINSTANCE>(platform::ModuleInstance()), MAKEINTRESOURCEA(IDI_SOURCE));
}

DialogWindow::~DialogWindow() { Destroy(); }

bool DialogWindow::Create() {
    // The sliders are the common controls' trackbars.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&classes);
    HWND hwnd = ::CreateDialogParamA(static_cast<HINSTANCE>(platform::ModuleInstance()),
                                     MAKEINTRESOURCEA(IDD_SOURCE_DIALOG), nullptr, SourceDialogProc,
                                     reinterpret_cast<LPARAM>(impl_.get()));
    return hwnd != nullptr;
}

void* DialogWindow::Handle() const { return impl_->hwnd; }

void DialogWindow::Destroy() {
    if (impl_->hwnd != nullptr && ::IsWindow(impl_->hwnd)) ::DestroyWindow(impl_->hwnd);
    impl_->hwnd = nullptr;
}

void DialogWindow::Show(bool show) {
    if (impl_->hwnd) ::ShowWindow(impl_->hwnd, show ? SW_SHOW : SW_HIDE);
}

bool DialogWindow::IsVisible() const { return impl_->hwnd && ::IsWindowVisible(impl_->hwnd); }

ImageTypeList& DialogWindow::List() { return impl_->list; }

void DialogWindow::EnableScanButtons(bool enable) {
    ::EnableWindow(::GetDlgItem(impl_->hwnd, IDC_FINAL_SCAN), enable);
    ::EnableWindow(::GetDlgItem(impl_->hwnd, IDC_PREVIEW_SCAN), enable);
}

void DialogWindow::SetScanButtonText(const char* text) {
    if (impl_->hwnd == nullptr) return;
    ::SetDlgItemTextA(impl_->hwnd, IDC_FINAL_SCAN, text != nullptr ? text : impl_->scanButtonText.c_str());
}

void DialogWindow::EnableSetupControls(bool enable) {
    ::EnableWindow(::GetDlgItem(impl_->hwnd, IDC_IMAGE_TYPE), enable);
    ::EnableWindow(::GetDlgItem(impl_->hwnd, IDC_PREVIEW), enable);
}

void DialogWindow::SetListEntries(int id, const std::vector<std::string>& texts, int selected) {
    HWND list = ::GetDlgItem(impl_->hwnd, id);
    if (list == nullptr) return;
    ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& text : texts) ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int DialogWindow::GetListSelection(int id) const {
    HWND list = ::GetDlgItem(impl_->hwnd, id);
    return list != nullptr ? static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0)) : -1;
}

void DialogWindow::SetSlider(int id, int minimum, int maximum, int position) {
    HWND slider = ::GetDlgItem(impl_->hwnd, id);
    if (slider == nullptr) return;
    ::SendMessageA(slider, TBM_SETRANGEMIN, FALSE, minimum);
    ::SendMessageA(slider, TBM_SETRANGEMAX, FALSE, maximum);
    // Ticks at the middle and the quarters of the full range; the arrow
    // keys move a hundredth of it, Page Up and Down a tenth.
    ::SendMessageA(slider, TBM_SETTICFREQ, 500, 0);
    ::SendMessageA(slider, TBM_SETLINESIZE, 0, 20);
    ::SendMessageA(slider, TBM_SETPAGESIZE, 0, 200);
    ::SendMessageA(slider, TBM_SETPOS, TRUE, position);
}

int DialogWindow::GetSliderPosition(int id) const {
    HWND slider = ::GetDlgItem(impl_->hwnd, id);
    return slider != nullptr ? static_cast<int>(::SendMessageA(slider, TBM_GETPOS, 0, 0)) : 0;
}

void DialogWindow::SetControlText(int id, const std::string& text) {
    if (impl_->hwnd != nullptr) ::SetDlgItemTextA(impl_->hwnd, id, text.c_str());
}

void DialogWindow::EnableControl(int id, bool enable) {
    if (HWND control = ::GetDlgItem(impl_->hwnd, id)) ::EnableWindow(control, enable);
}

bool DialogWindow::AddAboutMenuItem(const char* text) {
    HMENU menu = ::GetSystemMenu(impl_->hwnd, FALSE);
    if (menu == nullptr) return false;
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text);
    return true;
}

void DialogWindow::SetIcons() {
    ::SendMessageA(impl_->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(impl_->icon));
    ::SendMessageA(impl_->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(impl_->icon));
}

void DialogWindow::AttachPreview() {
    impl_->preview.Attach(::GetDlgItem(impl_->hwnd, IDC_PREVIEW), &impl_->owner.preview);
}

void DialogWindow::RenderPreview(unsigned paletteEntries, unsigned bitsPerPixel) {
    impl_->preview.Render(paletteEntries, bitsPerPixel);
}

int DialogWindow::ShowMessage(const char* text, unsigned type) {
    std::string caption = platform::LoadStringResource(IDS_PRODUCT_NAME);
    return platform::ShowMessageBox(impl_->hwnd, text, caption.c_str(), type);
}

void DialogWindow::ShowAboutBox() {
    ::DialogBoxParamA(static_cast<HINSTANCE>(platform::ModuleInstance()), MAKEINTRESOURCEA(IDD_ABOUTBOX),
                      impl_->hwnd, AboutDialogProc, 0);
}

bool IsDialogMessageFor(void* window, void* message) {
    HWND hwnd = static_cast<HWND>(window);
    if (hwnd == nullptr || !::IsWindow(hwnd)) return false;
    if (!platform::IsReadable(message, sizeof(MSG))) return false;
    return ::IsDialogMessageA(hwnd, static_cast<MSG*>(message)) != FALSE;
}
