// PreviewWindow's data: the preview buffer, the preview size with the
// whole-bed region it implies, and the region the application sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "platform/global_memory.h"
#include "ui/preview_window.h"

inline void PrintTo(const Rect32& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

class PreviewWindowTest : public ::testing::Test {
protected:
    void SetUp() override { blocksBefore = platform::GlobalBlocksOutstanding(); }
    void TearDown() override {
        platform::FailGlobalAllocationsAfter(-1);
        EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksBefore) << "blocks left behind";
    }
    long blocksBefore = 0;
};

TEST_F(PreviewWindowTest, PreviewSizeMakesTheWholeBedTheRegion) {
    PreviewWindow preview;
    preview.SetPreviewSize(255, 420);
    EXPECT_EQ(preview.imageRect, (Rect32{0, 0, 255, 420}));
    EXPECT_EQ(preview.GetRegion(), (Rect32{0, 0, 2550, 4200}));
    EXPECT_EQ(preview.region, (Rect32{0, 0, 0, 0})) << "no region is drawn";
    EXPECT_FALSE(preview.regionLocked);

    preview.SetRegion(100, 100, 400, 500);
    preview.SetPreviewSize(100, 50);
    EXPECT_EQ(preview.GetRegion(), (Rect32{0, 0, 1000, 500}));
    EXPECT_EQ(preview.region, (Rect32{10, 10, 40, 50})) << "the drawn region is not touched";
}

TEST_F(PreviewWindowTest, SetRegionTruncatesTowardsZeroAndLocks) {
    struct Case {
        Rect32 in;
        Rect32 drawn;
    };
    const Case cases[] = {
        {{105, 0, 1999, 3001}, {10, 0, 199, 300}},
        {{-15, -9, 9, 19}, {-1, 0, 0, 1}},
        {{-25, -10, -1, 0}, {-2, -1, 0, 0}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{2147483647, -2147483647 - 1, 10, 20}, {214748364, -214748364, 1, 2}},
    };
    for (const Case& c : cases) {
        PreviewWindow preview;
        preview.SetPreviewSize(255, 420);
        EXPECT_EQ(preview.SetRegion(c.in.left, c.in.top, c.in.right, c.in.bottom), 1);
        EXPECT_EQ(preview.GetRegion(), c.in) << "region300 is taken as given";
        EXPECT_EQ(preview.region, c.drawn);
        EXPECT_TRUE(preview.regionLocked) << "locked whatever the values";
    }
}

TEST_F(PreviewWindowTest, BufferIsWhiteAndReplaced) {
    PreviewWindow preview;
    EXPECT_EQ(preview.buffer(), nullptr);
    std::uint8_t* first = preview.AllocatePreviewBuffer(30);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(preview.bufferSize(), 30u);
    EXPECT_TRUE(std::all_of(first, first + 30, [](std::uint8_t b) { return b == 0xFF; }));
    const long withOne = platform::GlobalBlocksOutstanding();
    std::fill(first, first + 30, 0);

    std::uint8_t* second = preview.AllocatePreviewBuffer(300);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), withOne) << "the old buffer is freed";
    EXPECT_TRUE(std::all_of(second, second + 300, [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(PreviewWindowTest, BufferThatCannotBeHadLeavesNone) {
    PreviewWindow preview;
    ASSERT_NE(preview.AllocatePreviewBuffer(30), nullptr);
    platform::FailGlobalAllocationsAfter(0);
    EXPECT_EQ(preview.AllocatePreviewBuffer(60), nullptr);
    EXPECT_EQ(preview.buffer(), nullptr) << "the old buffer is gone";
    EXPECT_EQ(preview.bufferSize(), 0u);
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksBefore);
}

}  // namespace
