// HeldPage and the PageTurnStage on their own: rows handed out top-down or
// bottom-up into strides of another width, cut at the page's end and
// refused when they do not fit; the stage's turned page and what it does
// when its block cannot be had.
#include "acquisition/held_page.h"

#include <gtest/gtest.h>

#include <vector>

#include "acquisition/page_turn_stage.h"
#include "platform/global_memory.h"

namespace {

// A 5 x 3 grey page whose pixel (x, y) is 10 * y + x.
void Fill(HeldPage& page) {
    ASSERT_TRUE(page.Allocate(5, 3, 8));
    ASSERT_EQ(page.stride(), 8u) << "5 bytes padded to four";
    for (std::uint32_t y = 0; y < 3; ++y) {
        for (std::uint32_t x = 0; x < 8; ++x) page.Row(y)[x] = x < 5 ? static_cast<std::uint8_t>(10 * y + x) : 0xEE;
    }
}

TEST(HeldPage, CopyRowsIntoStridesOfEitherWidthAndOrder) {
    HeldPage page;
    Fill(page);
    struct Case {
        const char* name;
        std::uint32_t first, count;
        std::size_t size, stride;
        bool bottomUp;
        std::uint32_t copied;
        std::vector<std::uint8_t> bytes;  // the destination's first bytes
    };
    const Case cases[] = {
        {"unpadded, top-down", 0, 3, 15, 5, false, 3, {0, 1, 2, 3, 4, 10, 11, 12, 13, 14, 20, 21, 22, 23, 24}},
        {"wider, padding zeroed", 1, 1, 10, 10, false, 1, {10, 11, 12, 13, 14, 0xEE, 0xEE, 0xEE, 0, 0}},
        {"bottom-up", 1, 2, 10, 5, true, 2, {20, 21, 22, 23, 24, 10, 11, 12, 13, 14}},
        {"cut at the page's end", 2, 5, 15, 5, false, 1, {20, 21, 22, 23, 24, 0xA5}},
        {"a row shorter than the pixels", 0, 1, 15, 4, false, 0, {0xA5}},
        {"rows beyond the destination", 0, 3, 14, 5, false, 0, {0xA5}},
        {"no such row", 3, 1, 15, 5, false, 0, {0xA5}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> destination(c.size + 1, 0xA5);
        EXPECT_EQ(page.CopyRows(c.first, c.count, destination.data(), c.size, c.stride, c.bottomUp), c.copied) << c.name;
        EXPECT_EQ(std::vector<std::uint8_t>(destination.begin(), destination.begin() + c.bytes.size()), c.bytes) << c.name;
    }
    EXPECT_EQ(page.CopyRows(0, 1, nullptr, 15, 5, false), 0u) << "no destination";
}

TEST(PageTurnStage, TurnsAHeldPageAndFailsCleanlyWithoutMemory) {
    HeldPage page;
    Fill(page);
    EXPECT_FALSE(PageTurnStage(4).Turns()) << "a whole turn is none";
    const PageTurnStage stage(-1);  // 270 degrees
    ASSERT_EQ(stage.quarters(), 3);
    HeldPage turned;
    ASSERT_TRUE(stage.Apply(page, turned));
    ASSERT_EQ(turned.width(), 3u);
    ASSERT_EQ(turned.lines(), 5u);
    // Turned back clockwise: the first row of the turned page is the
    // original's last column, top to bottom.
    EXPECT_EQ(turned.Row(0)[0], 4);
    EXPECT_EQ(turned.Row(0)[2], 24);
    EXPECT_EQ(turned.Row(4)[0], 0);
    EXPECT_EQ(turned.Row(4)[3], 0) << "padding";

    const long before = platform::GlobalBlocksOutstanding();
    platform::FailGlobalAllocationsAfter(0);
    EXPECT_FALSE(stage.Apply(page, turned)) << "no block for the turned page";
    platform::FailGlobalAllocationsAfter(-1);
    EXPECT_FALSE(turned.Held());
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), before - 1) << "the turned page's old block was let go";
    HeldPage empty;
    EXPECT_FALSE(stage.Apply(empty, turned)) << "nothing held";
}

}  // namespace
