// What the built modules show the loader: the source exports DS_Entry alone
// and imports only Windows' own libraries; the scanner library exports its
// twelve functions by ordinal only; the test source manager exports
// DSM_Entry.
#include <algorithm>
#include <cctype>
#include <set>

#include <gtest/gtest.h>

#include "pe_image.h"
#include "source_harness.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

const std::set<std::string> kSystemLibraries = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll",
    "advapi32.dll", "comctl32.dll", "shell32.dll", "version.dll",
};

void ExpectOnlySystemImports(const PeImage& image, const char* module) {
    ASSERT_FALSE(image.importedLibraries.empty()) << module << " imports nothing at all";
    for (const std::string& library : image.importedLibraries) {
        std::string name = Lower(library);
        EXPECT_TRUE(kSystemLibraries.count(name) == 1 || name.rfind("api-ms-win-", 0) == 0)
            << module << " imports " << library << ", which is not a Windows system library";
    }
}

}  // namespace

TEST(ModuleImage, SourceExportsOnlyDsEntryUndecorated) {
    PeImage image = ReadPeImage(TestFolder() + "vorelsrc.ds");
    ASSERT_TRUE(image.valid) << "vorelsrc.ds is not a PE image";
    ASSERT_EQ(image.exports.names.size(), 1u) << "vorelsrc.ds exports names other than DS_Entry";
    EXPECT_EQ(image.exports.names[0], "DS_Entry");
    EXPECT_EQ(image.exports.ordinals.size(), 1u) << "vorelsrc.ds exports more than one function";
}

TEST(ModuleImage, SourceImportsOnlySystemLibraries) {
    PeImage image = ReadPeImage(TestFolder() + "vorelsrc.ds");
    ASSERT_TRUE(image.valid);
    ExpectOnlySystemImports(image, "vorelsrc.ds");
}

TEST(ModuleImage, ScannerLibraryExportsTwelveOrdinalsWithoutNames) {
    PeImage image = ReadPeImage(TestFolder() + "VOREL32.dll");
    if (!image.valid) GTEST_SKIP() << "VOREL32.dll not built";
    EXPECT_TRUE(image.exports.names.empty()) << "VOREL32.dll exports names";
    std::vector<std::uint32_t> expected = {2, 9, 10, 13, 14, 17, 18, 20, 22, 26, 27, 30};
    EXPECT_EQ(image.exports.ordinals, expected);
    ExpectOnlySystemImports(image, "VOREL32.dll");
}

TEST(ModuleImage, TestSourceManagerExportsDsmEntry) {
    PeImage image = ReadPeImage(TestFolder() + "TWAIN_32.DLL");
    ASSERT_TRUE(image.valid);
    EXPECT_NE(std::find(image.exports.names.begin(), image.exports.names.end(), "DSM_Entry"),
              image.exports.names.end());
    ExpectOnlySystemImports(image, "TWAIN_32.DLL");
}

TEST(ModuleImage, HelperImportsOnlySystemLibraries) {
    PeImage image = ReadPeImage(TestFolder() + "vorelhost32.exe");
    if (!image.valid) GTEST_SKIP() << "vorelhost32.exe not built";
    ExpectOnlySystemImports(image, "vorelhost32.exe");
}

TEST(ModuleImage, SourceLoadsAndFindsDsEntry) {
    SourceHarness harness;
    EXPECT_TRUE(harness.Loaded()) << "LoadLibraryA of vorelsrc.ds or GetProcAddress of DS_Entry failed";
}

// The image libraries are linked in statically: a program that uses all four
// brings no DLL of theirs.
TEST(ModuleImage, ImageLibrariesLinkInWithoutDlls) {
    PeImage image = ReadPeImage(TestFolder() + "vorel_image_libraries.exe");
    ASSERT_TRUE(image.valid) << "vorel_image_libraries.exe is not a PE image";
    ExpectOnlySystemImports(image, "vorel_image_libraries.exe");
}
