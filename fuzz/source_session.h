// A whole application session against the source, decoded from arbitrary
// bytes: the libFuzzer target source_session_fuzz runs one per input, and
// the native unit tests replay its corpus and its findings through the same
// decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

struct SessionOutcome {
    std::uint64_t triplets = 0;        // DS_Entry calls made
    bool reachedTransferReady = false;  // the source was in state 600
    bool completedTransfer = false;     // a transfer answered TWRC_XFERDONE with image data
    std::string problem;                // what the source left behind; empty when nothing
};

// Once per process: a temporary folder for the transfer files and the
// profile, the stand-ins for the source manager and the user's answers to
// boxes, and the simulated scanner.
void PrepareSessions();

// One session from a freshly loaded module to its unloading. Bytes decide
// every choice; when they run out every choice is the plain one, so even a
// short input opens the source, scans a small image, transfers it and
// closes.
SessionOutcome RunSession(const std::uint8_t* data, std::size_t size);

}  // namespace fuzzing
