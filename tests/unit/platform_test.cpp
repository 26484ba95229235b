// The native platform layer as the source relies on it: global memory
// handles that are unknown lock to null, files opened without creating or
// emptying them, the profile's integers, and string resources cut to the
// caller's buffer.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/global_memory.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "resources/resource_ids.h"

namespace {

std::string TempFolder() {
    char pattern[] = "/tmp/vorel-platform-XXXXXX";
    return mkdtemp(pattern);
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(GlobalMemory, UnknownAndFreedHandlesLockToNullAndSizeZero) {
    long before = platform::GlobalBlocksOutstanding();
    platform::GlobalHandle handle = platform::GlobalAllocate(platform::kGmemShareable, 10);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(platform::GlobalBlockSize(handle), 10u);
    EXPECT_NE(platform::GlobalLockBlock(handle), nullptr);
    platform::GlobalUnlockBlock(handle);
    platform::GlobalFreeBlock(handle);
    EXPECT_EQ(platform::GlobalLockBlock(handle), nullptr) << "a freed handle";
    EXPECT_EQ(platform::GlobalBlockSize(handle), 0u);
    EXPECT_EQ(platform::GlobalLockBlock(reinterpret_cast<void*>(0x1234)), nullptr) << "a handle never given out";
    EXPECT_EQ(platform::GlobalLockBlock(nullptr), nullptr);
    platform::GlobalFreeBlock(reinterpret_cast<void*>(0x1234));  // ignored, no crash
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), before);
}

TEST(GlobalMemory, ZeroInitialisedOnlyWhenAsked) {
    platform::GlobalHandle zeroed = platform::GlobalAllocate(platform::kGmemMoveable | platform::kGmemZeroInit, 8);
    platform::GlobalHandle raw = platform::GlobalAllocate(platform::kGmemMoveable, 8);
    platform::LockedBlock a(zeroed), b(raw);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a.bytes()[7], 0);
    EXPECT_NE(b.bytes()[7], 0) << "unzeroed blocks hold garbage, so tests see a missing write";
    platform::GlobalFreeBlock(zeroed);
    platform::GlobalFreeBlock(raw);
}

TEST(GlobalMemory, FailureInjectionCountsDown) {
    platform::FailGlobalAllocationsAfter(1);
    platform::GlobalHandle first = platform::GlobalAllocate(platform::kGmemMoveable, 4);
    platform::GlobalHandle second = platform::GlobalAllocate(platform::kGmemMoveable, 4);
    platform::FailGlobalAllocationsAfter(-1);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    platform::GlobalFreeBlock(first);
}

TEST(File, ReadWriteNeitherCreatesNorEmpties) {
    std::string folder = TempFolder();
    std::string path = folder + "/existing.bin";
    platform::File file;
    EXPECT_FALSE(file.Open(path.c_str(), platform::FileMode::ReadWrite)) << "a missing file is not created";
    EXPECT_FALSE(std::ifstream(path).good());

    ASSERT_TRUE(file.Open(path.c_str(), platform::FileMode::CreateReadWrite));
    ASSERT_TRUE(file.Write("0123456789", 10));
    file.Close();
    ASSERT_TRUE(file.Open(path.c_str(), platform::FileMode::ReadWrite));
    ASSERT_TRUE(file.Write("ab", 2));
    file.Close();
    EXPECT_EQ(Contents(path), "ab23456789") << "the rest of the file stays";

    ASSERT_TRUE(file.Open(path.c_str(), platform::FileMode::ReadWrite));
    ASSERT_TRUE(file.Write("xyz", 3));
    ASSERT_TRUE(file.EndHere());
    file.Close();
    EXPECT_EQ(Contents(path), "xyz") << "EndHere drops what an older, longer file had";

    ASSERT_TRUE(file.Open(path.c_str(), platform::FileMode::ReadWrite));
    ASSERT_TRUE(file.Seek(5));
    ASSERT_TRUE(file.Write("CD", 2));
    ASSERT_TRUE(file.Seek(1));
    ASSERT_TRUE(file.Write("Y", 1));
    file.Close();
    EXPECT_EQ(Contents(path), std::string("xYz\0\0CD", 7)) << "Seek past the end leaves zeros between";

    ASSERT_TRUE(file.Open(path.c_str(), platform::FileMode::CreateReadWrite));
    file.Close();
    EXPECT_EQ(Contents(path), "") << "create mode empties";
    EXPECT_TRUE(platform::DeleteFileByName(path.c_str()));
    EXPECT_FALSE(platform::DeleteFileByName(path.c_str()));
    rmdir(folder.c_str());
}

TEST(File, MissingFolderOrNameFails) {
    platform::File file;
    EXPECT_FALSE(file.Open("/nonexistent-folder/x.tif", platform::FileMode::CreateReadWrite));
    EXPECT_FALSE(file.Open("", platform::FileMode::CreateReadWrite));
    EXPECT_FALSE(file.Open(nullptr, platform::FileMode::CreateReadWrite));
    EXPECT_FALSE(file.Write("x", 1)) << "writing to a file that is not open";
    EXPECT_FALSE(file.Seek(0)) << "seeking in a file that is not open";
}

TEST(Profile, IntegersRoundTripPerSectionAndKey) {
    std::string folder = TempFolder();
    platform::SetProfileFolder(folder);
    EXPECT_EQ(platform::ProfileGetInt("Test", "Highlight", 220), 220) << "default while absent";
    platform::ProfileWriteInt("Test", "Highlight", 20);
    platform::ProfileWriteInt("Test", "GammaX10", 18);
    platform::ProfileWriteInt("Other", "Highlight", -5);
    EXPECT_EQ(platform::ProfileGetInt("Test", "Highlight", 220), 20);
    EXPECT_EQ(platform::ProfileGetInt("Test", "GammaX10", 22), 18);
    EXPECT_EQ(platform::ProfileGetInt("Other", "Highlight", 0), -5);
    platform::ProfileWriteInt("Test", "Highlight", 221);
    EXPECT_EQ(platform::ProfileGetInt("Test", "Highlight", 0), 221) << "rewritten in place";
    std::string text = Contents(folder + "/vorelsrc.ini");
    EXPECT_NE(text.find("[Test]"), std::string::npos);
    std::remove((folder + "/vorelsrc.ini").c_str());
    rmdir(folder.c_str());
    platform::SetProfileFolder("");
}

TEST(Strings, CutToTheBufferLikeLoadString) {
    char buffer[34];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(platform::LoadStringResource(IDS_FEEDER_QUESTION, buffer, sizeof buffer), 33);
    EXPECT_EQ(std::strlen(buffer), 33u) << "33 characters and the terminating zero";
    EXPECT_EQ(std::string(buffer), std::string(TEXT_FEEDER_QUESTION).substr(0, 33));
    EXPECT_EQ(platform::LoadStringResource(9999, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "") << "a missing string leaves the empty text";
    EXPECT_EQ(platform::LoadStringResource(IDS_PRODUCT_NAME), "Vorel Source");
}
