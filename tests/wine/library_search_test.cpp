// Where the source takes VOREL32.dll from: only by full path, beside itself,
// then the system folder, then the Windows folder. The test program's own
// folder (the application's folder, and here the working folder too) holds
// a VOREL32.dll; a copy of the source in a folder of its own must not load it.
#include <gtest/gtest.h>

#include <string>

#include "source_harness.h"

namespace {

std::string TempFolder(const char* name) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + name + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string SystemFolder() {
    char path[MAX_PATH] = {};
    ::GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path) + "\\";
}

std::string LoadedScannerLibrary() {
    HMODULE library = ::GetModuleHandleA("VOREL32.dll");
    if (library == nullptr) return {};
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(library, path, MAX_PATH);
    return path;
}

bool SameFile(std::string a, std::string b) {
    for (std::string* s : {&a, &b}) {
        for (char& c : *s) c = c == '/' ? '\\' : static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    }
    return a == b;
}

}  // namespace

// Both cases in one test: the order matters (nothing may be loaded before
// the planted library's case), and the system folder's copy must go again.
TEST(LibrarySearch, OnlyBesideTheSourceOrInTheSystemFolders) {
    // The 64-bit source loads no library: its 32-bit helper does, with this same search.
    if (sizeof(void*) == 8) GTEST_SKIP() << "the 64-bit source's helper loads VOREL32.dll";
    ASSERT_EQ(::GetModuleHandleA("VOREL32.dll"), nullptr) << "nothing loaded it yet";
    const std::string alone = TempFolder("vorel-source-alone");
    const std::string source = alone + "vorelsrc.ds";
    ASSERT_TRUE(::CopyFileA((TestFolder() + "vorelsrc.ds").c_str(), source.c_str(), FALSE));
    ::SetCurrentDirectoryA(TestFolder().c_str());

    {
        SourceHarness harness(source);
        ASSERT_TRUE(harness.Loaded());
        ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
        EXPECT_EQ(LoadedScannerLibrary(), "") << "the application's VOREL32.dll was loaded";
        // The box that says so comes when the source is enabled.
        EXPECT_EQ(harness.Enable(false), TWRC_FAILURE);
        const std::vector<AnsweredBox> boxes = AnsweredBoxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_NE(boxes[0].text.find("[106]"), std::string::npos) << boxes[0].text;
        EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
    }

    const std::string systemCopy = SystemFolder() + "VOREL32.dll";
    ASSERT_TRUE(::CopyFileA((TestFolder() + "VOREL32.dll").c_str(), systemCopy.c_str(), FALSE));
    {
        SourceHarness harness(source);
        ASSERT_TRUE(harness.Loaded());
        ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
        EXPECT_TRUE(SameFile(LoadedScannerLibrary(), systemCopy)) << LoadedScannerLibrary();
        EXPECT_TRUE(AnsweredBoxes().empty()) << "the scanner opened";
        EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
    }
    EXPECT_EQ(::GetModuleHandleA("VOREL32.dll"), nullptr) << "unloaded with the source";
    EXPECT_TRUE(::DeleteFileA(systemCopy.c_str()));
    ::DeleteFileA(source.c_str());
    ::RemoveDirectoryA(alone.c_str());
}
