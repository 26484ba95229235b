// Debugger output over OutputDebugStringA, unless a test hook listens.
#include <windows.h>

#include "platform/debug_output.h"

namespace platform {
namespace {
DebugOutputHook hook = nullptr;
}

void DebugOutput(const char* text) {
    if (text == nullptr) return;
    if (hook != nullptr) {
        hook(text);
    } else {
        ::OutputDebugStringA(text);
    }
}

void SetDebugOutputHook(DebugOutputHook newHook) { hook = newHook; }

}  // namespace platform
