// The rectangle tracker without a window: rectangles and points, the
// handles of a tracked rectangle and its hit test, the minimum-size rule,
// and the drag itself (a handle or the whole rectangle following the mouse
// until the button is released). The mouse events come from a DragInput:
// the window's message queue on Windows (ui/win32/region_tracker_win32.cpp),
// a list of points in the tests. RegionTracker is the preview's tracker: it
// keeps the region inside the preview window and lets a new rubber band
// collapse while it is still small.
#pragma once

#include <cstdint>

#include "imaging/rect32.h"

struct Point32 {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// The rectangle with left <= right and top <= bottom.
Rect32 Normalized(const Rect32& rect);
// Left and top edges inside, right and bottom edges outside.
bool Contains(const Rect32& rect, Point32 point);

// Hit test results and the handle being dragged.
enum TrackerHit : int {
    hitNothing = -1,
    hitTopLeft = 0,
    hitTopRight = 1,
    hitBottomRight = 2,
    hitBottomLeft = 3,
    hitTop = 4,
    hitRight = 5,
    hitBottom = 6,
    hitLeft = 7,
    hitMiddle = 8,
};

// Style bits of a tracker.
enum TrackerStyle : unsigned {
    solidLine = 1,
    dottedLine = 2,
    hatchedBorder = 4,
    resizeInside = 8,
    resizeOutside = 16,
    hatchInside = 32,
};

// The cursor shown over a handle; the window side maps it to a system cursor.
enum class TrackerCursor { None, SizeNWSE, SizeNESW, SizeNS, SizeWE, SizeAll };
TrackerCursor CursorForHit(int hit);

// One mouse event of a drag, in the tracked window's client coordinates.
struct DragEvent {
    enum Kind { Move, Release, Cancel };
    Kind kind = Cancel;
    Point32 point;
};

// Where a drag takes its mouse events from, and where it shows the
// rectangle while it is dragged.
class DragInput {
public:
    virtual ~DragInput() = default;
    // Called once before the first event; false refuses the drag (the
    // mouse cannot be captured), which then changes nothing.
    virtual bool Begin() { return true; }
    // The next event; Release and Cancel end the drag.
    virtual DragEvent Next() = 0;
    // The dragged rectangle moved: hide it at `previous` (when given) and
    // show it at `current` (when given). The last call only hides it.
    virtual void Show(const Rect32* previous, const Rect32* current) {}
    // Called once after the last event.
    virtual void End() {}
};

class RectTracker {
public:
    RectTracker() = default;
    RectTracker(const Rect32& r, unsigned s) : rect(r), style(s) {}
    virtual ~RectTracker() = default;

    // The handle under `point`, hitMiddle inside the rectangle, hitNothing
    // outside it and its handles. An empty rectangle shows nothing to hit.
    virtual int HitTest(Point32 point) const;
    // The handle's square, for the normalised rectangle (handle codes as
    // for a rectangle that is not inverted).
    Rect32 HandleRect(int handle) const;
    // Bit i set: handle i is shown. Side handles need room between the
    // corner handles.
    unsigned HandleMask() const;

    // The coordinates of `r` that dragging `handle` moves: x (left or
    // right) and y (top or bottom); a side handle moves only one, the
    // middle moves left and top (the other two follow).
    static void GetModifyPointers(Rect32& r, int handle, std::int32_t*& px, std::int32_t*& py);

    // Drags `handle` under the point (hitNothing refuses) until the button
    // is released. True when released with a rectangle different from the
    // one it started with; on Cancel or no change the rectangle is put back.
    bool Track(DragInput& input, Point32 point, bool allowInvert);
    // A new rectangle from the point, dragged by its bottom-right corner.
    bool TrackRubberBand(DragInput& input, Point32 point, bool allowInvert);

    // Called on every mouse move with the rectangle being dragged (the
    // tracker's own). The base rule: a dragged edge closer than the minimum
    // size to the opposite edge is put at the minimum distance from it, on
    // the side it is on.
    virtual void AdjustRect(int handle, Rect32& r);

    Rect32 rect;
    unsigned style = 0;
    std::int32_t handleSize = 6;
    std::int32_t minWidth = 0;
    std::int32_t minHeight = 0;
    bool allowInvert = false;

private:
    bool TrackHandle(int handle, DragInput& input, Point32 point);
};

constexpr std::int32_t kRegionHandleSize = 6;
constexpr std::int32_t kRegionMinimumSize = 20;
constexpr std::int32_t kRegionEdgeReach = 3;
constexpr unsigned kRegionTrackerStyle = dottedLine | resizeInside;  // 10

class RegionTracker : public RectTracker {
public:
    RegionTracker() { handleSize = kRegionHandleSize; }

    // Prepares the tracker on `r` inside the window's client rectangle.
    void Setup(const Rect32& r, const Rect32& clientRect);

    // As the base, and a press within kRegionEdgeReach of an edge (on its
    // dashed line or just beside it) grabs that edge, or the corner where
    // two meet, as its handle would. A tracker that cannot resize (a locked
    // region's) offers nothing to grab.
    int HitTest(Point32 point) const override;

    // Keeps the dragged rectangle inside bounds. Moving: shifted back
    // inside, keeping its size. Resizing: the dragged edge stays inside
    // bounds; below the minimum a dimension collapses to 0, and once the
    // rectangle has been big enough the minimum-size rule holds.
    void AdjustRect(int handle, Rect32& r) override;

    // Dragging an existing region (a handle or the whole of it), with the
    // minimum size from the start. True when it ends with a rectangle that
    // is not empty once normalised; otherwise the rectangle is put back.
    bool TrackMove(DragInput& input, Point32 point);
    // A rubber band from the point, allowed to collapse while small.
    bool TrackNew(DragInput& input, Point32 point);

    Rect32 bounds;
    bool sizeReached = false;
};

// Where the tracker of a region is drawn: inset by one pixel, so that the
// border stays inside the region; empty when the region is.
Rect32 InsetForDrawing(const Rect32& region);
