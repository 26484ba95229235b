// Starting the 32-bit helper process vorelhost32.exe, found beside this
// module, and connecting to it. Windows only.
#pragma once

#include <memory>

#include "device/remote_scanner.h"

// The helper connects to the pipe before it loads the scanner library, so
// that the source sees it running at once however long the library takes.
// The source's first message (the hello) then names the version of the
// messages and the section both ends were built with, the section and the
// parent it serves: version u32, section handle u32, section size u32,
// parent process handle u32, and the two events' handles u32 (handle values
// in the helper's own handle table). A helper that finds a hello of another
// length or version ends without answering. Once the library is loaded and
// the section mapped, it answers kHelperReady and its own version, which
// the source checks in turn: a helper of another build is refused at once.
constexpr std::uint32_t kHelperReady = 0x564F524C;  // "VORL"
// Changes with every change of the messages, the section's layout or the
// hello: 'V' 'H', then a running number.
constexpr std::uint32_t kHelperProtocol = 0x56480002;
constexpr std::size_t kHelloWords = 6;
constexpr std::size_t kAnswerWords = 2;

// A new helper, started (its Connect waits for it); null when it cannot
// be started.
std::unique_ptr<remote::Channel> StartHelperChannel();
