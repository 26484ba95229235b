// Debugger output for the native build: silent unless a hook listens.
#include "platform/debug_output.h"

namespace platform {
namespace {
DebugOutputHook hook = nullptr;
}

void DebugOutput(const char* text) {
    if (hook != nullptr && text != nullptr) hook(text);
}

void SetDebugOutputHook(DebugOutputHook newHook) { hook = newHook; }

}  // namespace platform
