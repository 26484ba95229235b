// The whole-source fuzz target's sessions replayed natively: the plain
// session, the committed seed corpus (which must keep most sessions
// reaching a transfer), and every finding under its own name.
#include "source_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/source_session.h"

namespace {

using source_test::SourceTest;

std::vector<std::uint8_t> ReadInput(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fuzzing::SessionOutcome Replay(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadInput(path);
    return fuzzing::RunSession(bytes.data(), bytes.size());
}

class SourceSession : public SourceTest {};

TEST_F(SourceSession, EmptyInputIsThePlainRoadToATransfer) {
    const fuzzing::SessionOutcome outcome = fuzzing::RunSession(nullptr, 0);
    EXPECT_EQ(outcome.problem, "");
    EXPECT_TRUE(outcome.reachedTransferReady);
    EXPECT_TRUE(outcome.completedTransfer);
}

TEST_F(SourceSession, SeedCorpusReplaysAndMostlyReachesATransfer) {
    int sessions = 0, ready = 0, transferred = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VOREL_FUZZ_CORPUS "/source_session_fuzz")) {
        const fuzzing::SessionOutcome outcome = Replay(entry.path());
        EXPECT_EQ(outcome.problem, "") << entry.path();
        ++sessions;
        ready += outcome.reachedTransferReady;
        transferred += outcome.completedTransfer;
    }
    ASSERT_GT(sessions, 0);
    EXPECT_GE(ready * 10, sessions * 6) << ready << " of " << sessions << " sessions reached state 600";
    EXPECT_GE(transferred * 10, sessions * 5) << transferred << " of " << sessions << " sessions transferred";
}

// Findings of the fuzzer, each replayed under its own name.
fuzzing::SessionOutcome Finding(const char* name) { return Replay(std::string(VOREL_TEST_DATA "/fuzz/") + name); }

// A batch's MSG_ENDXFER sets the next scan up; with the heap full there it
// must refuse with TWCC_LOWMEMORY, not let the exception end the process.
TEST_F(SourceSession, EndXferWithoutMemoryForTheNextScan) {
    EXPECT_EQ(Finding("endxfer-next-scan-without-memory").problem, "");
}

}  // namespace
