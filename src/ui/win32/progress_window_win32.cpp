// The progress window on Windows: a small popup titled as scanning, with
// the page's line, a progress bar and a Cancel button. While a transfer runs inside the application's call, the
// window is served between reads of the scanner by taking only its own
// messages from the queue, so nothing else of the application runs inside
// the source. Its class lives only as long as the window, so the module can
// be unloaded with no class left pointing into it. Where the page stands
// is also kept in the window's properties, and each change announced with
// a registered message (ui/progress_interface.h).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "acquisition/session_window.h"
#include "platform/strings.h"
#include "resources/resource_ids.h"
#include "ui/progress_interface.h"
#include "ui/progress_window.h"

struct ProgressWindow::Impl {
    explicit Impl(SessionWindow& dialog) : owner(dialog) {}
    SessionWindow& owner;
    HWND application = nullptr;  // the window the application enabled the source with
    HWND window = nullptr;
    HWND text = nullptr;
    HWND bar = nullptr;
    bool cancelled = false;
    int page = 0;
    int pages = 0;
    std::uint32_t rows = 0;
    std::uint32_t shownRows = 0;
    bool served = false;    // served once since it was shown
    DWORD lastServed = 0;   // when, in GetTickCount's milliseconds
    bool waiting = false;   // asked for and not made yet
    DWORD askedAt = 0;
    std::uint32_t toldRows = 0;  // the rows done the properties hold

    // Makes and shows the window, saying where the page stands.
    void Make();
    // Puts the page, its rows and `rowsDone` into the window's properties
    // and announces them.
    void Tell(std::uint32_t rowsDone);
};

namespace {

// The window appears only once a transfer has taken this long: a page the
// scanner delivers at once is not worth a window flashing up, and making
// one costs more than such a transfer.
constexpr DWORD kShowDelayMs = 250;
// The window is served at most this often: each time costs calls into the
// window system, which a fast scanner would otherwise pay hundreds of times
// a page. A slow one's pieces take longer than this, so each one still
// ends with the window served and a Cancel seen.
constexpr DWORD kServeIntervalMs = 20;

constexpr int kClientWidth = 320;
constexpr int kClientHeight = 112;
constexpr int kMargin = 16;

// The bar counts in rows, within the 16 bits every version of the control
// takes: a page of more rows moves it in steps of several.
int BarRange(std::uint32_t rows) { return static_cast<int>(std::min<std::uint32_t>(rows, 30000)); }
int BarPosition(std::uint32_t rowsDone, std::uint32_t rows) {
    if (rows == 0) return 0;
    return static_cast<int>(std::uint64_t(std::min(rowsDone, rows)) * BarRange(rows) / rows);
}

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* impl = reinterpret_cast<ProgressWindow::Impl*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kProgressCancelId && impl != nullptr) {
                impl->cancelled = true;
                ::EnableWindow(::GetDlgItem(hwnd, kProgressCancelId), FALSE);
            }
            return 0;
        case WM_CLOSE:
            if (impl != nullptr) impl->cancelled = true;
            return 0;
        default:
            return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

HINSTANCE Instance() { return static_cast<HINSTANCE>(platform::ModuleInstance()); }

void SetNumber(HWND window, const char* name, std::uint32_t value) {
    ::SetPropA(window, name, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)));
}

bool RegisterProgressClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ProgressProc;
    windowClass.hInstance = Instance();
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kProgressWindowClass;
    return ::RegisterClassA(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Centred over its owner, or over the screen without one.
void Centre(HWND window, HWND owner) {
    RECT area{};
    if (owner == nullptr || !::GetWindowRect(owner, &area)) {
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT own{};
    ::GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

ProgressWindow::ProgressWindow(SessionWindow& dialog) : impl_(std::make_unique<Impl>(dialog)) {}

ProgressWindow::~ProgressWindow() { Hide(); }

void ProgressWindow::Show(int page, int pages, std::uint32_t rows) {
    impl_->page = page;
    impl_->pages = pages;
    impl_->rows = rows;
    impl_->shownRows = 0;
    impl_->cancelled = false;
    impl_->served = false;
    if (impl_->window != nullptr) {
        ::SetWindowTextA(impl_->text, PageLabel(page, pages).c_str());
        ::SendMessageA(impl_->bar, PBM_SETRANGE32, 0, BarRange(rows));
        ::SendMessageA(impl_->bar, PBM_SETPOS, 0, 0);
        impl_->Tell(0);
        return;
    }
    impl_->waiting = true;
    impl_->askedAt = ::GetTickCount();
}

void ProgressWindow::Impl::Tell(std::uint32_t rowsDone) {
    // Registered once per process: the same name always gives the same message.
    static const UINT changed = ::RegisterWindowMessageA(kProgressChangedMessage);
    if (rowsDone > rows) rowsDone = rows;
    toldRows = rowsDone;
    SetNumber(window, kProgressPageProperty, static_cast<std::uint32_t>(page));
    SetNumber(window, kProgressRowsProperty, rows);
    SetNumber(window, kProgressRowsDoneProperty, rowsDone);
    if (changed != 0) ::SendMessageA(window, changed, static_cast<WPARAM>(page), static_cast<LPARAM>(rowsDone));
}

void ProgressWindow::Impl::Make() {
    waiting = false;
    if (!RegisterProgressClass()) return;
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&classes);
    HWND ownerWindow = owner.IsWindowVisible()                                    ? static_cast<HWND>(owner.WindowHandle())
                       : application != nullptr && ::IsWindow(application) != FALSE ? application
                                                                                    : ::GetActiveWindow();
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    const std::string caption = "Scanning - " + platform::LoadStringResource(IDS_PRODUCT_NAME);
    HWND made = ::CreateWindowExA(WS_EX_DLGMODALFRAME, kProgressWindowClass, caption.c_str(), style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, ownerWindow,
                                  nullptr, Instance(), nullptr);
    if (made == nullptr) {
        ::UnregisterClassA(kProgressWindowClass, Instance());
        return;
    }
    ::SetWindowLongPtrA(made, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    auto font = reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
    const int width = kClientWidth - 2 * kMargin;
    text = ::CreateWindowExA(0, "STATIC", PageLabel(page, pages).c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, kMargin,
                             14, width, 18, made, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressTextId)),
                             Instance(), nullptr);
    bar = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, kMargin, 36, width, 18, made,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)), Instance(), nullptr);
    HWND cancel = ::CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                    (kClientWidth - 88) / 2, 70, 88, 26, made,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressCancelId)), Instance(),
                                    nullptr);
    if (text != nullptr) ::SendMessageA(text, WM_SETFONT, font, FALSE);
    if (cancel != nullptr) ::SendMessageA(cancel, WM_SETFONT, font, FALSE);
    if (bar != nullptr) {
        ::SendMessageA(bar, PBM_SETRANGE32, 0, BarRange(rows));
        ::SendMessageA(bar, PBM_SETPOS, BarPosition(shownRows, rows), 0);
    }
    window = made;
    Tell(shownRows);
    Centre(made, ownerWindow);
    ::ShowWindow(made, SW_SHOWNORMAL);
    ::UpdateWindow(made);
}

bool ProgressWindow::Update(std::uint32_t rowsDone) {
    const DWORD now = ::GetTickCount();
    if (impl_->waiting && now - impl_->askedAt >= kShowDelayMs) impl_->Make();
    HWND window = impl_->window;
    if (window == nullptr) return false;
    if (impl_->served && now - impl_->lastServed < kServeIntervalMs) return impl_->cancelled;
    impl_->served = true;
    impl_->lastServed = now;
    if (std::min(rowsDone, impl_->rows) != impl_->toldRows) impl_->Tell(rowsDone);
    // The bar moves at most a hundred times a page: redrawing it for every
    // read would cost more than the read.
    const std::uint64_t rows = impl_->rows;
    if (rows > 0 && (std::uint64_t(rowsDone) * 100 / rows != std::uint64_t(impl_->shownRows) * 100 / rows ||
                     rowsDone >= rows)) {
        impl_->shownRows = rowsDone;
        ::SendMessageA(impl_->bar, PBM_SETPOS, BarPosition(rowsDone, impl_->rows), 0);
    }
    MSG message;
    while (::PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
        if (!::IsDialogMessageA(window, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    return impl_->cancelled;
}

void ProgressWindow::Hide() {
    impl_->waiting = false;
    if (impl_->window == nullptr) return;
    HWND window = impl_->window;
    impl_->window = nullptr;
    impl_->text = nullptr;
    impl_->bar = nullptr;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    for (const char* name : {kProgressPageProperty, kProgressRowsProperty, kProgressRowsDoneProperty}) {
        ::RemovePropA(window, name);
    }
    ::DestroyWindow(window);
    ::UnregisterClassA(kProgressWindowClass, Instance());
}

void ProgressWindow::SetApplicationWindow(void* window) { impl_->application = static_cast<HWND>(window); }
