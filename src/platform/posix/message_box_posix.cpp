// Message boxes for the native build: there is no screen, so a box is
// answered by the test's hook, or OK when no hook is set.
#include "platform/message_box.h"

namespace platform {
namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
}  // namespace

int ShowMessageBox(void*, const char* text, const char* caption, unsigned type) {
    if (Hook()) return Hook()(text ? text : "", caption ? caption : "", type);
    return kAnswerOk;
}

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

}  // namespace platform
