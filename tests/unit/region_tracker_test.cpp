// The rectangle tracker without a window: hit test, the minimum-size rule,
// the region tracker's bounds and collapse rules, and whole drags fed from
// scripted mouse events.
#include <gtest/gtest.h>

#include "scripted_drag.h"
#include "ui/region_tracker.h"

inline void PrintTo(const Rect32& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

using D = ScriptedDrag;

RegionTracker MakeRegionTracker(Rect32 rect, Rect32 client) {
    RegionTracker tracker;
    tracker.Setup(rect, client);
    return tracker;
}

TEST(RegionTrackerTest, SetupGivesTheRegionTrackersShape) {
    RegionTracker tracker = MakeRegionTracker(Rect32{1, 2, 3, 4}, Rect32{257, 422, 0, 0});
    EXPECT_EQ(tracker.rect, (Rect32{1, 2, 3, 4}));
    EXPECT_EQ(tracker.bounds, (Rect32{0, 0, 257, 422})) << "bounds are normalised";
    EXPECT_EQ(tracker.style, 10u) << "dotted line, handles inside";
    EXPECT_EQ(tracker.handleSize, 6);
    EXPECT_EQ(tracker.minWidth, 20);
    EXPECT_EQ(tracker.minHeight, 20);
    EXPECT_FALSE(tracker.sizeReached);
}

TEST(RegionTrackerTest, HitTestFindsHandlesInsideTheRectangle) {
    // 50 x 50 at 10, 10: corner squares of 6 along the inside, side squares
    // centred on the sides.
    struct Case {
        Point32 point;
        int hit;
    };
    const Case cases[] = {
        {{10, 10}, hitTopLeft},    {{15, 15}, hitTopLeft},     {{59, 10}, hitTopRight},
        {{59, 59}, hitBottomRight}, {{54, 54}, hitBottomRight}, {{10, 59}, hitBottomLeft},
        {{33, 10}, hitTop},        {{59, 33}, hitRight},        {{33, 59}, hitBottom},
        {{10, 33}, hitLeft},       {{30, 30}, hitMiddle},       {{16, 16}, hitMiddle},
        {{9, 30}, hitLeft},        {{60, 30}, hitRight},        {{30, 60}, hitBottom},
        {{30, 9}, hitTop},         {{6, 30}, hitNothing},       {{63, 30}, hitNothing},
        {{30, 63}, hitNothing},    {{30, 6}, hitNothing},       {{62, 62}, hitBottomRight},
    };
    RegionTracker tracker = MakeRegionTracker(Rect32{10, 10, 60, 60}, Rect32{0, 0, 100, 100});
    for (const Case& c : cases) EXPECT_EQ(tracker.HitTest(c.point), c.hit) << "at " << c.point;

    tracker.rect = Rect32{60, 60, 10, 10};  // inverted both ways while dragged
    EXPECT_EQ(tracker.HitTest(Point32{10, 10}), hitBottomRight) << "its own bottom-right edge pair";
    EXPECT_EQ(tracker.HitTest(Point32{10, 33}), hitRight);
    tracker.rect = Rect32{60, 10, 10, 60};
    EXPECT_EQ(tracker.HitTest(Point32{10, 10}), hitTopRight);

    for (Rect32 empty : {Rect32{}, Rect32{10, 10, 10, 60}, Rect32{10, 0, 199, 0}}) {
        tracker.rect = empty;
        EXPECT_EQ(tracker.HitTest(Point32{10, 10}), hitNothing) << "an empty region has nothing to hit";
        EXPECT_EQ(tracker.HitTest(Point32{0, 0}), hitNothing);
    }
}

TEST(RegionTrackerTest, SideHandlesOnlyWhereThereIsRoom) {
    RectTracker tracker(Rect32{0, 0, 17, 40}, kRegionTrackerStyle);
    EXPECT_EQ(tracker.HandleMask(), 0x0Fu | (1u << hitLeft) | (1u << hitRight)) << "too narrow for top and bottom";
    tracker.rect = Rect32{0, 0, 18, 18};
    EXPECT_EQ(tracker.HandleMask(), 0xFFu);
}

TEST(RegionTrackerTest, BaseMinimumSizePutsTheDraggedEdgeAtTheMinimum) {
    struct Case {
        int handle;
        Rect32 in;
        bool invert;
        Rect32 out;
    };
    const Case cases[] = {
        {hitRight, {10, 10, 15, 50}, true, {10, 10, 30, 50}},
        {hitLeft, {10, 10, 15, 50}, true, {-5, 10, 15, 50}},
        {hitLeft, {30, 10, 25, 50}, true, {45, 10, 25, 50}},      // inverted stays inverted
        {hitLeft, {30, 10, 25, 50}, false, {5, 10, 25, 50}},      // or is put back the right way
        {hitRight, {10, 10, 10, 50}, true, {10, 10, 30, 50}},     // no width: the way it faces
        {hitTopLeft, {10, 10, 40, 15}, true, {10, -5, 40, 15}},  // only the short dimension moves
        {hitBottom, {10, 10, 12, 12}, true, {10, 10, 12, 30}},    // a side moves one coordinate
        {hitMiddle, {10, 10, 12, 12}, true, {10, 10, 12, 12}},
        {hitBottomRight, {0, 0, 25, 25}, true, {0, 0, 25, 25}},
    };
    for (const Case& c : cases) {
        RectTracker tracker;
        tracker.minWidth = 20;
        tracker.minHeight = 20;
        tracker.allowInvert = c.invert;
        Rect32 r = c.in;
        tracker.AdjustRect(c.handle, r);
        EXPECT_EQ(r, c.out) << "handle " << c.handle;
    }
}

TEST(RegionTrackerTest, MovingKeepsTheRectangleInsideBounds) {
    struct Case {
        Rect32 in;
        Rect32 out;
    };
    const Case cases[] = {
        {{90, 10, 130, 40}, {60, 10, 100, 40}},
        {{-10, -5, 30, 25}, {0, 0, 40, 30}},
        {{20, 80, 40, 120}, {20, 60, 40, 100}},
        {{-20, 0, 130, 50}, {0, 0, 150, 50}},   // wider than bounds: flush left
        {{0, -30, 50, 120}, {0, 0, 50, 150}},   // taller: flush top
        {{10, 10, 40, 40}, {10, 10, 40, 40}},
    };
    for (const Case& c : cases) {
        RegionTracker tracker = MakeRegionTracker(c.in, Rect32{0, 0, 100, 100});
        Rect32 r = c.in;
        tracker.AdjustRect(hitMiddle, r);
        EXPECT_EQ(r, c.out);
    }
}

TEST(RegionTrackerTest, ResizingClampsCollapsesAndReachesTheSize) {
    struct Case {
        int handle;
        bool sizeReachedBefore;
        Rect32 in;
        Rect32 out;
        bool sizeReachedAfter;
    };
    const Case cases[] = {
        {hitBottomRight, false, {10, 10, 25, 50}, {10, 10, 10, 50}, false},  // narrow collapses, 40 tall is not enough
        {hitBottomRight, false, {10, 10, 25, 51}, {10, 10, 10, 51}, true},   // more than 40 tall is
        {hitBottomRight, false, {10, 10, 30, 30}, {10, 10, 30, 30}, true},   // 20 x 20 is
        {hitBottomRight, false, {10, 10, 29, 30}, {10, 10, 10, 30}, false},
        {hitBottomRight, false, {30, 10, -5, 61}, {30, 10, 0, 61}, true},    // clamped, inverted
        {hitBottomRight, false, {10, 10, 150, -30}, {10, 10, 100, 10}, true}, // clamped then collapsed
        {hitBottomRight, true, {10, 10, 15, 12}, {10, 10, 30, 30}, true},    // minimum once reached
        {hitBottomRight, true, {90, 10, 95, 50}, {90, 10, 90, 50}, true},    // minimum would leave bounds
        {hitTop, false, {10, 30, 20, 40}, {10, 40, 20, 40}, false},          // a side: only y
        {hitLeft, true, {-40, 10, 60, 40}, {0, 10, 60, 40}, true},
    };
    for (const Case& c : cases) {
        RegionTracker tracker = MakeRegionTracker(c.in, Rect32{0, 0, 100, 100});
        tracker.sizeReached = c.sizeReachedBefore;
        tracker.allowInvert = true;
        Rect32 r = c.in;
        tracker.AdjustRect(c.handle, r);
        EXPECT_EQ(r, c.out) << "handle " << c.handle;
        EXPECT_EQ(tracker.sizeReached, c.sizeReachedAfter) << "handle " << c.handle;
    }

    RegionTracker unbounded = MakeRegionTracker(Rect32{}, Rect32{});
    Rect32 r{10, 10, 13, 500};
    unbounded.AdjustRect(hitBottomRight, r);
    EXPECT_EQ(r, (Rect32{10, 10, 13, 500})) << "without bounds nothing is adjusted";
}

TEST(RegionTrackerTest, RubberBandFollowsTheMouseAndHidesItsFeedback) {
    RegionTracker tracker = MakeRegionTracker(Rect32{}, Rect32{0, 0, 257, 422});
    D drag({D::MoveTo(20, 20), D::MoveTo(40, 50), D::MoveTo(40, 50), D::ReleaseAt(40, 50)});
    EXPECT_TRUE(tracker.TrackNew(drag, Point32{10, 10}));
    EXPECT_EQ(tracker.rect, (Rect32{10, 10, 40, 50}));
    EXPECT_EQ(drag.begun, 1);
    EXPECT_EQ(drag.ended, 1);
    EXPECT_EQ(drag.visible, 0) << "the dragged rectangle is hidden at the end";
    ASSERT_EQ(drag.shown.size(), 2u) << "shown again only when it changed";
    EXPECT_EQ(drag.shown[0], (Rect32{10, 10, 10, 10})) << "collapsed while small";
}

TEST(RegionTrackerTest, TrackEndsWithoutChangeOnEscapeStillnessOrRefusedCapture) {
    const Rect32 start{10, 10, 40, 50};
    struct Case {
        const char* what;
        std::vector<DragEvent> events;
        bool allowBegin;
    };
    const Case cases[] = {
        {"Escape", {D::MoveTo(60, 60), D::Escape()}, true},
        {"release where pressed", {D::ReleaseAt(25, 30)}, true},
        {"moved and came back", {D::MoveTo(60, 60), D::ReleaseAt(25, 30)}, true},
        {"no capture", {D::MoveTo(60, 60), D::ReleaseAt(60, 60)}, false},
    };
    for (const Case& c : cases) {
        RegionTracker tracker = MakeRegionTracker(start, Rect32{0, 0, 257, 422});
        D drag(c.events);
        drag.allowBegin = c.allowBegin;
        EXPECT_FALSE(tracker.TrackMove(drag, Point32{25, 30})) << c.what;
        EXPECT_EQ(tracker.rect, start) << c.what;
        EXPECT_EQ(drag.visible, 0) << c.what;
    }
}

TEST(RegionTrackerTest, ExistingRegionIsResizedUnderTheMinimumOrTurnedOver) {
    RegionTracker tracker = MakeRegionTracker(Rect32{10, 10, 40, 50}, Rect32{0, 0, 257, 422});
    ASSERT_EQ(tracker.HitTest(Point32{37, 30}), hitRight);
    D narrow({D::MoveTo(25, 30), D::ReleaseAt(20, 30)});
    EXPECT_TRUE(tracker.TrackMove(narrow, Point32{37, 30}));
    EXPECT_EQ(tracker.rect, (Rect32{10, 10, 30, 50})) << "the grabbed edge stops 20 from the other";

    tracker.Setup(Rect32{100, 10, 130, 50}, Rect32{0, 0, 257, 422});
    D over({D::ReleaseAt(50, 30)});
    EXPECT_TRUE(tracker.TrackMove(over, Point32{127, 30}));
    EXPECT_EQ(tracker.rect, (Rect32{100, 10, 53, 50})) << "inverted; the caller normalises";

    tracker.Setup(Rect32{10, 10, 40, 50}, Rect32{0, 0, 257, 422});
    D offLeft({D::ReleaseAt(-50, 30)});
    EXPECT_FALSE(tracker.TrackMove(offLeft, Point32{37, 30})) << "clamped at the edge, too narrow, collapsed";
    EXPECT_EQ(tracker.rect, (Rect32{10, 10, 40, 50})) << "put back";
}

}  // namespace
