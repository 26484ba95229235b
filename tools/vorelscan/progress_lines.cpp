// The source's progress, heard through the progress window's interface
// (ui/progress_interface.h): each change is a registered message sent to a
// window of the source's progress class on this thread, whose properties
// hold the page, its rows and the rows read.
#include "progress_lines.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "ui/progress_interface.h"

namespace {

HHOOK hook = nullptr;
ProgressLines* heard = nullptr;
UINT changed = 0;

std::uint64_t Number(HWND window, const char* name) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(::GetPropA(window, name)));
}

LRESULT CALLBACK OnMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && heard != nullptr && changed != 0 && message->message == changed) {
        char className[32] = {};
        if (::GetClassNameA(message->hwnd, className, sizeof className) > 0 &&
            std::strcmp(className, kProgressWindowClass) == 0) {
            heard->Rows(static_cast<int>(Number(message->hwnd, kProgressPageProperty)),
                        Number(message->hwnd, kProgressRowsDoneProperty), Number(message->hwnd, kProgressRowsProperty));
        }
    }
    return ::CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

ProgressWindowWatcher::ProgressWindowWatcher(ProgressLines* lines) {
    changed = ::RegisterWindowMessageA(kProgressChangedMessage);
    heard = lines;
    hook = ::SetWindowsHookExA(WH_CALLWNDPROC, OnMessage, nullptr, ::GetCurrentThreadId());
}

ProgressWindowWatcher::~ProgressWindowWatcher() {
    if (hook != nullptr) ::UnhookWindowsHookEx(hook);
    hook = nullptr;
    heard = nullptr;
}
