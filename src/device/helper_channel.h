// Starting the 32-bit helper process vorelhost32.exe, found beside this
// module, and connecting to it. Windows only.
#pragma once

#include <memory>

#include "device/remote_scanner.h"

// The helper's first message names the section and the parent it serves:
// section handle u32, section size u32, parent process handle u32 (handle
// values in the helper's own handle table). The helper answers kHelperReady
// once the section is mapped.
constexpr std::uint32_t kHelperReady = 0x564F524C;  // "VORL"

// A new helper, started (its Connect waits for it); null when it cannot
// be started.
std::unique_ptr<remote::Channel> StartHelperChannel();
