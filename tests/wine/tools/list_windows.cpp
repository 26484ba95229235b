// Prints the visible top-level windows of the session and the visible
// controls in each, one a line ("window: TITLE", "  CLASS: TEXT"), in
// UTF-8, so that shell tests can read what an installer shows. A source's
// progress window also gets a line of what its properties tell
// ("  progress: page P, D of R rows"). With
// "--close TITLE" it asks the windows of that exact title to close (as
// their close box does); with "--escape TITLE" it presses Escape in them.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cstdint>
#include <string>

#include "ui/progress_interface.h"

namespace {

std::string Utf8(const wchar_t* text) {
    char buffer[4096] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
    return buffer;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
    if (!::IsWindowVisible(control)) return TRUE;
    wchar_t className[64] = {}, text[1024] = {};
    ::GetClassNameW(control, className, 64);
    ::GetWindowTextW(control, text, 1024);
    std::printf("  %s: %s\n", Utf8(className).c_str(), Utf8(text).c_str());
    return TRUE;
}

const wchar_t* closing = nullptr;
bool escape = false;

BOOL CALLBACK VisitWindow(HWND window, LPARAM) {
    if (!::IsWindowVisible(window)) return TRUE;
    wchar_t title[1024] = {};
    ::GetWindowTextW(window, title, 1024);
    if (closing != nullptr) {
        if (std::wcscmp(title, closing) != 0) return TRUE;
        if (escape) {
            // To the window with the keyboard focus in that window's thread.
            GUITHREADINFO thread{};
            thread.cbSize = sizeof thread;
            HWND focus = ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread) &&
                                 thread.hwndFocus != nullptr
                             ? thread.hwndFocus
                             : window;
            ::PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            ::PostMessageW(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        } else {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return TRUE;
    }
    std::printf("window: %s\n", Utf8(title).c_str());
    char className[64] = {};
    if (::GetClassNameA(window, className, sizeof className) > 0 && std::string(className) == kProgressWindowClass) {
        auto number = [window](const char* name) {
            return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(::GetPropA(window, name)));
        };
        std::printf("  progress: page %u, %u of %u rows\n", number(kProgressPageProperty),
                    number(kProgressRowsDoneProperty), number(kProgressRowsProperty));
    }
    ::EnumChildWindows(window, PrintControl, 0);
    return TRUE;
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (args != nullptr && count == 3 &&
        (std::wcscmp(args[1], L"--close") == 0 || std::wcscmp(args[1], L"--escape") == 0)) {
        closing = args[2];
        escape = std::wcscmp(args[1], L"--escape") == 0;
    }
    ::EnumWindows(VisitWindow, 0);
    std::fflush(stdout);
    return 0;
}
