// Whole-source fuzzing: each input is one application session through
// DS_Entry (fuzz/source_session.cpp decodes it). Anything the source leaves
// behind is a crash; the sanitizers report the rest. At exit the target
// tells how many triplets went through and how many sessions reached a
// transfer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/source_session.h"

namespace {

struct Totals {
    std::uint64_t sessions = 0;
    std::uint64_t triplets = 0;
    std::uint64_t transferReady = 0;
    std::uint64_t transferred = 0;
} totals;

void Report() {
    if (totals.sessions == 0) return;
    const double sessions = static_cast<double>(totals.sessions);
    std::fprintf(stderr,
                 "source_session_fuzz: %llu sessions, %llu triplets through DS_Entry; %.1f%% reached state 600, "
                 "%.1f%% completed a transfer\n",
                 static_cast<unsigned long long>(totals.sessions), static_cast<unsigned long long>(totals.triplets),
                 100.0 * static_cast<double>(totals.transferReady) / sessions,
                 100.0 * static_cast<double>(totals.transferred) / sessions);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::PrepareSessions();
    std::atexit(Report);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::SessionOutcome outcome = fuzzing::RunSession(data, size);
    ++totals.sessions;
    totals.triplets += outcome.triplets;
    totals.transferReady += outcome.reachedTransferReady;
    totals.transferred += outcome.completedTransfer;
    // Also now and then on the way, for runs that are interrupted.
    if (totals.sessions % 100000 == 0) Report();
    if (!outcome.problem.empty()) {
        std::fprintf(stderr, "source_session_fuzz: %s\n", outcome.problem.c_str());
        __builtin_trap();
    }
    return 0;
}
