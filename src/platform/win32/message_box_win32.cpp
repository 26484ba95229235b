// Message boxes over MessageBoxA, unless a test hook answers them.
#include <windows.h>

#include "platform/message_box.h"

namespace platform {
namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
}  // namespace

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned type) {
    if (Hook()) return Hook()(text ? text : "", caption ? caption : "", type);
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

}  // namespace platform
