// Message boxes shown to the user. Tests replace the box with a hook that
// records the text and gives the answer.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Button sets and answers, with the values Windows gives them.
constexpr unsigned kBoxOk = 0x0;        // MB_OK
constexpr unsigned kBoxOkCancel = 0x1;  // MB_OKCANCEL
constexpr unsigned kBoxIconWarning = 0x30;
constexpr unsigned kBoxIconInformation = 0x40;
constexpr int kAnswerOk = 1;      // IDOK
constexpr int kAnswerCancel = 2;  // IDCANCEL

// Shows a modal box owned by `owner` (a window handle, or null) and returns
// the answer.
int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned type);

using MessageBoxHook = std::function<int(const std::string& text, const std::string& caption, unsigned type)>;
// An empty hook restores real boxes. Without a hook the native build answers OK.
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace platform
