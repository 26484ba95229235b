// The acquisition tool's small rules: which part files are whose (so that
// a later scan removes only stale ones of the tool and the source), and
// the sentences it builds from counts.
#include <gtest/gtest.h>

#include <string>

#include "tool_rules.h"

namespace {

TEST(ToolRules, PartFileOwnersByName) {
    struct Case {
        const char* leaf;
        PartOwner owner;
        unsigned long process;  // for the tool's
    };
    const Case cases[] = {
        {".vorelscan-256-0.part", PartOwner::Tool, 256},
        {".vorelscan-4294967295-999.part", PartOwner::Tool, 4294967295UL},
        {"~vorel-transfer0.part", PartOwner::Source, 0},
        {"~vorel-transfer99.part", PartOwner::Source, 0},
        // Anything else is the user's, however close.
        {".vorelscan-256.part", PartOwner::Other, 0},
        {".vorelscan--1-0.part", PartOwner::Other, 0},
        {".vorelscan-256-0.part.bak", PartOwner::Other, 0},
        {".vorelscan-4294967296-0.part", PartOwner::Other, 0},
        {"x.vorelscan-256-0.part", PartOwner::Other, 0},
        {"~vorel-transfer.part", PartOwner::Other, 0},
        {"~vorel-transferA.part", PartOwner::Other, 0},
        {"page.part", PartOwner::Other, 0},
        {"", PartOwner::Other, 0},
    };
    for (const Case& c : cases) {
        unsigned long process = 0;
        EXPECT_EQ(PartFileOwner(c.leaf, &process), c.owner) << c.leaf;
        if (c.owner == PartOwner::Tool) {
            EXPECT_EQ(process, c.process) << c.leaf;
        }
    }
    // The names the tool makes are the names it knows as its own.
    unsigned long process = 0;
    EXPECT_EQ(PartFileOwner(ToolPartName(4242, 7), &process), PartOwner::Tool);
    EXPECT_EQ(process, 4242u);
}

TEST(ToolRules, KeptPagesInWordsWhateverTheirNumber) {
    EXPECT_EQ(KeptPagesText(0, false, "p.tiff"), "");
    EXPECT_EQ(KeptPagesText(1, false, "p.tiff"), "; the page before it was written");
    EXPECT_EQ(KeptPagesText(2, false, "p.tiff"), "; the 2 pages before it were written");
    EXPECT_EQ(KeptPagesText(1, true, "m.tiff"), "; m.tiff holds the page before it");
    EXPECT_EQ(KeptPagesText(3, true, "m.tiff"), "; m.tiff holds the 3 pages before it");
}

// The least a buffer takes is quoted as what it is: a row of the image, or
// the source's own minimum when that is more.
TEST(ToolRules, MemoryBufferRefusalSaysWhichMinimum) {
    struct Case {
        std::uint32_t size, row, sourceMinimum;
        const char* said;  // a part of the refusal; "" taken
    };
    const Case cases[] = {
        {4096, 3828, 1024, ""},
        {3828, 3828, 3828, ""},
        {64000, 3828, 0, ""},
        {100, 3828, 1024, "at least one row of the image (3828 bytes)"},
        {2000, 1276, 4096, "at least 4096 bytes, the least the source takes (one row of the image is 1276 bytes)"},
        {64001, 100, 0, "at most 64000 bytes"},
        {64000, 61200 * 2, 0, "one row of this image takes 122400 bytes"},
    };
    for (const Case& c : cases) {
        const std::string refusal = MemoryBufferRefusal(c.size, c.row, c.sourceMinimum, 64000);
        if (c.said[0] == '\0') {
            EXPECT_EQ(refusal, "") << c.size;
        } else {
            EXPECT_NE(refusal.find(c.said), std::string::npos) << refusal;
        }
        EXPECT_EQ(refusal.find("one row (") , std::string::npos) << refusal;
    }
}

}  // namespace
