// The region a mouse press selects on the preview: new regions, moves,
// the window's edges, presses that select nothing, and the locked region.
// The preview is 255 x 420 pixels; its control's client area is 257 x 422.
#include <gtest/gtest.h>

#include "scripted_drag.h"
#include "ui/preview_window.h"

inline void PrintTo(const Rect32& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

using D = ScriptedDrag;

const Rect32 kClient{0, 0, 257, 422};

class PreviewRegionTest : public ::testing::Test {
protected:
    void SetUp() override { preview.SetPreviewSize(255, 420); }

    PreviewWindow::RegionChange Press(int x, int y, std::vector<DragEvent> events) {
        D drag(std::move(events));
        PreviewWindow::RegionChange change = preview.TrackRegion(Point32{x, y}, kClient, drag);
        EXPECT_EQ(drag.visible, 0) << "drag feedback left on screen";
        begun = drag.begun;
        return change;
    }
    // Selects 10, 10, 40, 50 with a drag.
    void SelectRegion() {
        Press(10, 10, {D::MoveTo(20, 20), D::ReleaseAt(40, 50)});
        ASSERT_EQ(preview.region, (Rect32{10, 10, 40, 50}));
    }

    PreviewWindow preview;
    int begun = 0;
};

TEST_F(PreviewRegionTest, DragSelectsARegionInPixelsAndTenthsOfThem) {
    PreviewWindow::RegionChange change = Press(10, 10, {D::MoveTo(20, 20), D::MoveTo(35, 45), D::ReleaseAt(40, 50)});
    EXPECT_TRUE(change.changed);
    EXPECT_EQ(change.oldRegion, Rect32{}) << "nothing was drawn before";
    EXPECT_EQ(change.newRegion, (Rect32{10, 10, 40, 50}));
    EXPECT_EQ(preview.region, (Rect32{10, 10, 40, 50}));
    EXPECT_EQ(preview.GetRegion(), (Rect32{100, 100, 400, 500}));

    change = Press(100, 100, {D::ReleaseAt(50, 40)});
    EXPECT_EQ(change.oldRegion, (Rect32{10, 10, 40, 50}));
    EXPECT_EQ(preview.region, (Rect32{50, 40, 100, 100})) << "dragged up and left, normalised";
    EXPECT_EQ(preview.GetRegion(), (Rect32{500, 400, 1000, 1000}));
}

TEST_F(PreviewRegionTest, SmallRubberBandCollapsesAndClearsTheRegion) {
    const std::vector<std::vector<DragEvent>> drags = {
        {D::MoveTo(115, 135), D::ReleaseAt(115, 135)},  // 15 wide, 35 high
        {D::MoveTo(130, 110), D::ReleaseAt(139, 119)},  // 19 high, never wider than 40
        {D::ReleaseAt(100, 100)},                       // no drag at all
        {D::MoveTo(190, 190), D::Escape()},             // given up
    };
    for (const auto& events : drags) {
        SelectRegion();
        PreviewWindow::RegionChange change = Press(100, 100, events);
        EXPECT_TRUE(change.changed);
        EXPECT_EQ(change.oldRegion, (Rect32{10, 10, 40, 50})) << "the old region is repainted";
        EXPECT_EQ(preview.region, Rect32{});
        EXPECT_EQ(preview.GetRegion(), Rect32{}) << "the scan region is empty";
    }
}

TEST_F(PreviewRegionTest, RubberBandOnceBigEnoughKeepsTheMinimum) {
    Press(10, 10, {D::MoveTo(40, 40), D::MoveTo(15, 12), D::ReleaseAt(12, 11)});
    EXPECT_EQ(preview.region, (Rect32{10, 10, 30, 30}));
    EXPECT_EQ(preview.GetRegion(), (Rect32{100, 100, 300, 300}));

    Press(100, 100, {D::MoveTo(100, 145), D::ReleaseAt(105, 110)});
    EXPECT_EQ(preview.region, (Rect32{100, 100, 120, 120})) << "more than 40 in one direction is enough";
}

TEST_F(PreviewRegionTest, RegionStaysInsideTheClientArea) {
    Press(200, 400, {D::MoveTo(500, 900), D::ReleaseAt(500, 900)});
    EXPECT_EQ(preview.region, (Rect32{200, 400, 257, 422})) << "stops at the client area's edge";
    EXPECT_EQ(preview.GetRegion(), (Rect32{2000, 4000, 2570, 4220})) << "two pixels past the image";

    Press(50, 50, {D::ReleaseAt(-30, -30)});
    EXPECT_EQ(preview.region, (Rect32{0, 0, 50, 50}));

    Press(25, 25, {D::MoveTo(300, 30), D::ReleaseAt(400, 500)});
    EXPECT_EQ(preview.region, (Rect32{207, 372, 257, 422})) << "moved flush with right and bottom";
}

TEST_F(PreviewRegionTest, RegionWiderThanTheWindowMovesFlushLeft) {
    preview.region = Rect32{0, 0, 300, 50};  // from a larger preview before
    D drag({D::ReleaseAt(160, 60)});
    PreviewWindow::RegionChange change = preview.TrackRegion(Point32{150, 25}, kClient, drag);
    EXPECT_TRUE(change.changed);
    EXPECT_EQ(preview.region, (Rect32{0, 35, 300, 85}));
}

TEST_F(PreviewRegionTest, MoveThatEndsWithNothingChangesNothing) {
    SelectRegion();
    const std::vector<std::vector<DragEvent>> drags = {
        {D::MoveTo(90, 90), D::Escape()},
        {D::ReleaseAt(25, 30)},
        {D::MoveTo(60, 70), D::ReleaseAt(25, 30)},
    };
    for (const auto& events : drags) {
        PreviewWindow::RegionChange change = Press(25, 30, events);
        EXPECT_FALSE(change.changed);
        EXPECT_EQ(preview.region, (Rect32{10, 10, 40, 50}));
        EXPECT_EQ(preview.GetRegion(), (Rect32{100, 100, 400, 500}));
    }
    // The right edge dragged off the window's left: clamped and collapsed.
    PreviewWindow::RegionChange change = Press(37, 30, {D::ReleaseAt(-100, 30)});
    EXPECT_FALSE(change.changed);
    EXPECT_EQ(preview.region, (Rect32{10, 10, 40, 50}));
}

TEST_F(PreviewRegionTest, MoveAndResizeByHandle) {
    SelectRegion();
    Press(25, 30, {D::MoveTo(40, 40), D::ReleaseAt(125, 130)});
    EXPECT_EQ(preview.region, (Rect32{110, 110, 140, 150}));
    EXPECT_EQ(preview.GetRegion(), (Rect32{1100, 1100, 1400, 1500}));

    Press(139, 149, {D::ReleaseAt(199, 209)});  // bottom-right handle
    EXPECT_EQ(preview.region, (Rect32{110, 110, 200, 210}));
}

// A press on the region's edges (its dashed line, or just beside it) drags
// that edge, or at a corner both edges; inside, the region moves; further
// out a new one is drawn.
TEST_F(PreviewRegionTest, PressOnAnEdgeMovesThatEdge) {
    const struct {
        Point32 at;
        Rect32 after;
    } cases[] = {
        {{39, 40}, {10, 10, 60, 50}},  // on the right edge's dashed line
        {{41, 30}, {10, 10, 60, 50}},  // just outside it
        {{8, 30}, {20, 10, 40, 50}},   // beside the left edge (kept 20 wide)
        {{32, 10}, {10, 30, 40, 50}},  // on the top edge
        {{32, 49}, {10, 10, 40, 70}},  // on the bottom edge
        {{40, 51}, {10, 10, 60, 70}},  // beside the bottom-right corner
        {{25, 30}, {30, 30, 60, 70}},  // inside: the region moves
        {{60, 70}, {60, 70, 80, 90}},  // further out: a new region
    };
    for (const auto& c : cases) {
        preview.SetPreviewSize(255, 420);
        preview.region = Rect32{};
        SelectRegion();
        Press(c.at.x, c.at.y, {D::MoveTo(c.at.x + 10, c.at.y + 10), D::ReleaseAt(c.at.x + 20, c.at.y + 20)});
        EXPECT_EQ(preview.region, c.after) << "press at " << c.at.x << ", " << c.at.y;
    }
}

TEST_F(PreviewRegionTest, LockedRegionIgnoresTheMouse) {
    RegionTracker tracker;
    preview.SetRegion(100, 100, 1000, 1000);
    preview.SetupTracker(tracker, preview.region, kClient);
    EXPECT_EQ(tracker.style & (resizeInside | resizeOutside), 0u) << "no handles drawn";
    EXPECT_EQ(tracker.HitTest(Point32{50, 50}), hitNothing) << "nothing to grab";
    EXPECT_EQ(preview.SetRegion(105, 0, 1999, 3001), 1);
    EXPECT_EQ(preview.region, (Rect32{10, 0, 199, 300}));
    for (Point32 at : {Point32{100, 100}, Point32{300, 300}, Point32{12, 2}}) {
        PreviewWindow::RegionChange change = Press(at.x, at.y, {D::MoveTo(5, 5), D::ReleaseAt(5, 5)});
        EXPECT_FALSE(change.changed);
        EXPECT_EQ(begun, 0) << "no drag starts";
        EXPECT_EQ(preview.region, (Rect32{10, 0, 199, 300}));
        EXPECT_EQ(preview.GetRegion(), (Rect32{105, 0, 1999, 3001}));
    }
}

}  // namespace
