// The progress window's text, heard as the source sets it: WM_SETTEXT to
// the text line of a "VorelSourceProgress" window on this thread.
#include "progress_lines.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HHOOK hook = nullptr;
ProgressLines* heard = nullptr;

LRESULT CALLBACK OnMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && heard != nullptr && message->message == WM_SETTEXT && message->lParam != 0) {
        char className[32] = {};
        HWND parent = ::GetParent(message->hwnd);
        if (parent != nullptr && ::GetClassNameA(parent, className, sizeof className) > 0 &&
            std::strcmp(className, "VorelSourceProgress") == 0) {
            int page = 0;
            unsigned long done = 0, rows = 0;
            if (std::sscanf(reinterpret_cast<const char*>(message->lParam), "Page %d: %lu of %lu rows", &page, &done,
                            &rows) == 3) {
                heard->Rows(page, done, rows);
            }
        }
    }
    return ::CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

ProgressWindowWatcher::ProgressWindowWatcher(ProgressLines* lines) {
    heard = lines;
    hook = ::SetWindowsHookExA(WH_CALLWNDPROC, OnMessage, nullptr, ::GetCurrentThreadId());
}

ProgressWindowWatcher::~ProgressWindowWatcher() {
    if (hook != nullptr) ::UnhookWindowsHookEx(hook);
    hook = nullptr;
    heard = nullptr;
}
