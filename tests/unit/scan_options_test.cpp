// The acquisition tool's command line: batch file names from a pattern, and
// the combinations of batch flags it refuses before opening anything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan_options.h"

namespace {

TEST(ScanOptions, BatchFileNameReplacesOneConversion) {
    struct Case {
        const char* pattern;
        int page;
        const char* name;  // "" refused
    };
    for (const Case& c : {Case{"page-%d.tiff", 3, "page-3.tiff"}, Case{"p%03d.bmp", 7, "p007.bmp"},
                          Case{"p%03d.bmp", 1234, "p1234.bmp"}, Case{"100%%-%d.tif", 2, "100%-2.tif"},
                          Case{"page.tiff", 1, ""}, Case{"%d-%d.tiff", 1, ""}, Case{"%s.tiff", 1, ""},
                          Case{"page-%", 1, ""}, Case{"%n%d", 1, ""}}) {
        EXPECT_EQ(BatchFileName(c.pattern, c.page), c.name) << c.pattern;
    }
}

bool Parse(std::vector<std::string> words, ScanOptions* options, std::string* error) {
    words.insert(words.begin(), "vorelscan");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    return ParseScanOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(ScanOptions, BatchFlags) {
    struct Case {
        std::vector<std::string> words;
        bool accepted;
        const char* mechanism;
    };
    const Case cases[] = {
        {{"--batch", "page-%d.tiff"}, true, "file"},
        {{"--batch", "page-%d.bmp", "--count", "3"}, true, "native"},
        {{"--batch", "all.tiff", "--multipage"}, true, "memory"},
        {{"--batch", "page.tiff"}, false, ""},
        {{"--batch", "all.bmp", "--multipage"}, false, ""},
        {{"--batch", "all.tiff", "--multipage", "--mech", "file"}, false, ""},
        {{"--batch", "p%d.tiff", "--count", "0"}, false, ""},
        {{"--batch", "p%d.tiff", "--count", "-2"}, false, ""},
    };
    for (const Case& c : cases) {
        ScanOptions options;
        std::string error;
        EXPECT_EQ(Parse(c.words, &options, &error), c.accepted) << c.words[1] << ": " << error;
        if (c.accepted) {
            EXPECT_TRUE(options.batch) << c.words[1];
            EXPECT_EQ(options.mechanism, c.mechanism) << c.words[1];
        }
    }
}

}  // namespace
