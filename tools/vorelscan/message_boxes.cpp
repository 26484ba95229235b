// A computer-based-training hook on the tool's thread: it is told when a
// window is about to be activated, before the box's modal loop waits.
#include "message_boxes.h"

#include <windows.h>

#include <cstdio>

#include "wide_text.h"

namespace {

HHOOK hook = nullptr;
bool answering = false;
std::string lastText;

// A message box is a dialog of static texts and buttons only, its text the
// static control 0xFFFF; the source's own window has more (a list, the
// preview) and is never answered.
bool IsMessageBox(HWND window, std::wstring* text) {
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (lstrcmpW(className, L"#32770") != 0) return false;
    HWND label = ::GetDlgItem(window, 0xFFFF);
    if (label == nullptr) return false;
    bool buttons = false;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::GetClassNameW(child, className, 16);
        if (lstrcmpiW(className, L"Button") == 0) {
            buttons = true;
        } else if (lstrcmpiW(className, L"Static") != 0) {
            return false;
        }
    }
    if (!buttons) return false;
    wchar_t buffer[2048] = {};
    ::GetWindowTextW(label, buffer, 2048);
    *text = buffer;
    return true;
}

LRESULT CALLBACK OnWindowEvent(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        std::wstring wide;
        if (IsMessageBox(window, &wide)) {
            std::string text = Utf8FromWide(wide.c_str());
            for (char& c : text) {
                if (c == '\r' || c == '\n') c = ' ';
            }
            lastText = text;
            if (answering) {
                const LRESULT defaultId = ::SendMessageW(window, DM_GETDEFID, 0, 0);
                const WORD button = HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : IDOK;
                std::fprintf(stderr, "vorelscan: the source says: %s (answered %s)\n", text.c_str(),
                             button == IDOK ? "OK" : button == IDCANCEL ? "Cancel" : "with its default button");
                std::fflush(stderr);
                ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(window, button)));
            }
        }
    }
    return ::CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(bool answer) {
    answering = answer;
    lastText.clear();
    hook = ::SetWindowsHookExW(WH_CBT, OnWindowEvent, nullptr, ::GetCurrentThreadId());
}

MessageBoxWatcher::~MessageBoxWatcher() {
    if (hook != nullptr) ::UnhookWindowsHookEx(hook);
    hook = nullptr;
}

std::string MessageBoxWatcher::TakeLastText() {
    std::string text;
    text.swap(lastText);
    return text;
}

std::string BoxInWords(const std::string& text) {
    struct Known {
        const char* number;
        const char* words;
    };
    static const Known kKnown[] = {
        {"[106]", "the scanner could not be opened (is its driver installed, and no other scanning program running?)"},
        {"[107]", "the scanner does not answer (is it switched on and connected?)"},
        {"[109]", "the document feeder jammed"},
    };
    for (const Known& known : kKnown) {
        if (text.find(known.number) != std::string::npos) return known.words;
    }
    return "the source says \"" + text + "\"";
}
