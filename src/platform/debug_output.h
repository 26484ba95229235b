// Debugger output (OutputDebugStringA on Windows). Tests capture it with a
// hook.
#pragma once

namespace platform {

void DebugOutput(const char* text);

using DebugOutputHook = void (*)(const char* text);
// A null hook restores the platform's own output.
void SetDebugOutputHook(DebugOutputHook hook);

}  // namespace platform
