// The rectangle tracker's geometry and its drag, and the preview's
// RegionTracker. Nothing here knows a window: the drag reads its mouse
// events from a DragInput and reports the rectangle through it.
#include "ui/region_tracker.h"

#include <algorithm>
#include <cstdlib>

Rect32 Normalized(const Rect32& rect) {
    Rect32 r = rect;
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    return r;
}

bool Contains(const Rect32& rect, Point32 point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

TrackerCursor CursorForHit(int hit) {
    switch (hit) {
        case hitTopLeft:
        case hitBottomRight:
            return TrackerCursor::SizeNWSE;
        case hitTopRight:
        case hitBottomLeft:
            return TrackerCursor::SizeNESW;
        case hitTop:
        case hitBottom:
            return TrackerCursor::SizeNS;
        case hitLeft:
        case hitRight:
            return TrackerCursor::SizeWE;
        case hitMiddle:
            return TrackerCursor::SizeAll;
        default:
            return TrackerCursor::None;
    }
}

Rect32 RectTracker::HandleRect(int handle) const {
    const Rect32 r = Normalized(rect);
    const std::int32_t s = handleSize;
    // Inside: the squares lie along the inner side of the border; outside:
    // along its outer side.
    const bool outside = (style & resizeOutside) != 0;
    const std::int32_t left = outside ? r.left - s : r.left;
    const std::int32_t right = outside ? r.right : r.right - s;
    const std::int32_t top = outside ? r.top - s : r.top;
    const std::int32_t bottom = outside ? r.bottom : r.bottom - s;
    const std::int32_t centreX = r.left + (r.Width() - s) / 2;
    const std::int32_t centreY = r.top + (r.Height() - s) / 2;
    std::int32_t x = 0;
    std::int32_t y = 0;
    switch (handle) {
        case hitTopLeft: x = left; y = top; break;
        case hitTopRight: x = right; y = top; break;
        case hitBottomRight: x = right; y = bottom; break;
        case hitBottomLeft: x = left; y = bottom; break;
        case hitTop: x = centreX; y = top; break;
        case hitRight: x = right; y = centreY; break;
        case hitBottom: x = centreX; y = bottom; break;
        case hitLeft: x = left; y = centreY; break;
        default: return Rect32{};
    }
    return Rect32{x, y, x + s, y + s};
}

unsigned RectTracker::HandleMask() const {
    const Rect32 r = Normalized(rect);
    unsigned mask = 0x0F;  // the corners are always shown
    if (r.Width() >= 3 * handleSize) mask |= (1u << hitTop) | (1u << hitBottom);
    if (r.Height() >= 3 * handleSize) mask |= (1u << hitLeft) | (1u << hitRight);
    return mask;
}

int RectTracker::HitTest(Point32 point) const {
    const Rect32 r = Normalized(rect);
    if (r.IsEmpty()) return hitNothing;
    int hit = hitNothing;
    if ((style & (resizeInside | resizeOutside)) != 0) {
        const unsigned mask = HandleMask();
        for (int handle = hitTopLeft; handle <= hitLeft; ++handle) {
            if ((mask & (1u << handle)) != 0 && Contains(HandleRect(handle), point)) {
                hit = handle;
                break;
            }
        }
    }
    if (hit == hitNothing) return Contains(r, point) ? hitMiddle : hitNothing;
    // The handles were found on the normalised rectangle; an inverted
    // rectangle's corner on the left is its right edge's, and so on.
    if (rect.left > rect.right) {
        static const int swapX[8] = {hitTopRight, hitTopLeft, hitBottomLeft, hitBottomRight,
                                     hitTop,      hitLeft,    hitBottom,     hitRight};
        hit = swapX[hit];
    }
    if (rect.top > rect.bottom) {
        static const int swapY[8] = {hitBottomLeft, hitBottomRight, hitTopRight, hitTopLeft,
                                     hitBottom,     hitRight,       hitTop,      hitLeft};
        hit = swapY[hit];
    }
    return hit;
}

void RectTracker::GetModifyPointers(Rect32& r, int handle, std::int32_t*& px, std::int32_t*& py) {
    px = nullptr;
    py = nullptr;
    switch (handle) {
        case hitTopLeft: px = &r.left; py = &r.top; break;
        case hitTopRight: px = &r.right; py = &r.top; break;
        case hitBottomRight: px = &r.right; py = &r.bottom; break;
        case hitBottomLeft: px = &r.left; py = &r.bottom; break;
        case hitTop: py = &r.top; break;
        case hitRight: px = &r.right; break;
        case hitBottom: py = &r.bottom; break;
        case hitLeft: px = &r.left; break;
        case hitMiddle: px = &r.left; py = &r.top; break;
        default: break;
    }
}

namespace {

// Puts the moved edge `*moved` at `minimum` from `opposite`, on the side it
// is on; an edge on top of the opposite one goes the way it faces
// (`facing`: +1 for right and bottom, -1 for left and top).
void KeepMinimumDistance(std::int32_t* moved, std::int32_t opposite, int facing, std::int32_t minimum,
                         bool allowInvert) {
    const std::int32_t distance = (*moved - opposite) * facing;  // positive when not inverted
    const std::int32_t size = allowInvert ? std::abs(distance) : distance;
    if (size >= minimum) return;
    int side = facing;
    if (allowInvert && distance < 0) side = -facing;
    *moved = opposite + side * minimum;
}

}  // namespace

void RectTracker::AdjustRect(int handle, Rect32& r) {
    if (handle == hitMiddle) return;
    std::int32_t* px = nullptr;
    std::int32_t* py = nullptr;
    GetModifyPointers(r, handle, px, py);
    if (px != nullptr) {
        const bool right = px == &r.right;
        KeepMinimumDistance(px, right ? r.left : r.right, right ? 1 : -1, minWidth, allowInvert);
    }
    if (py != nullptr) {
        const bool bottom = py == &r.bottom;
        KeepMinimumDistance(py, bottom ? r.top : r.bottom, bottom ? 1 : -1, minHeight, allowInvert);
    }
}

bool RectTracker::TrackHandle(int handle, DragInput& input, Point32 point) {
    if (handle < hitTopLeft || handle > hitMiddle) return false;
    const Rect32 start = rect;
    std::int32_t* px = nullptr;
    std::int32_t* py = nullptr;
    GetModifyPointers(rect, handle, px, py);
    // The grabbed edge keeps its distance from the mouse.
    const std::int32_t xOffset = px != nullptr ? *px - point.x : 0;
    const std::int32_t yOffset = py != nullptr ? *py - point.y : 0;
    const std::int32_t width = start.Width();
    const std::int32_t height = start.Height();

    if (!input.Begin()) return false;
    bool shown = false;
    Rect32 drawn;
    bool released = false;
    for (;;) {
        const DragEvent event = input.Next();
        if (event.kind == DragEvent::Cancel) break;
        if (px != nullptr) *px = event.point.x + xOffset;
        if (py != nullptr) *py = event.point.y + yOffset;
        if (handle == hitMiddle) {
            rect.right = rect.left + width;
            rect.bottom = rect.top + height;
        }
        AdjustRect(handle, rect);
        if (!shown || drawn != rect) {
            input.Show(shown ? &drawn : nullptr, &rect);
            drawn = rect;
            shown = true;
        }
        if (event.kind == DragEvent::Release) {
            released = true;
            break;
        }
    }
    if (shown) input.Show(&drawn, nullptr);
    input.End();

    const bool changed = released && rect != start;
    if (!changed) {
        rect = start;
    } else if (!allowInvert) {
        rect = Normalized(rect);
    }
    return changed;
}

bool RectTracker::Track(DragInput& input, Point32 point, bool invert) {
    allowInvert = invert;
    return TrackHandle(HitTest(point), input, point);
}

bool RectTracker::TrackRubberBand(DragInput& input, Point32 point, bool invert) {
    allowInvert = invert;
    rect = Rect32{point.x, point.y, point.x, point.y};
    return TrackHandle(hitBottomRight, input, point);
}

void RegionTracker::Setup(const Rect32& r, const Rect32& clientRect) {
    rect = r;
    bounds = Normalized(clientRect);
    style = kRegionTrackerStyle;
    minWidth = kRegionMinimumSize;
    minHeight = kRegionMinimumSize;
}

int RegionTracker::HitTest(Point32 point) const {
    if ((style & (resizeInside | resizeOutside)) == 0) return hitNothing;
    const int hit = RectTracker::HitTest(point);
    if (hit != hitNothing && hit != hitMiddle) return hit;
    const Rect32 r = Normalized(rect);
    if (r.IsEmpty()) return hit;
    auto near = [](std::int32_t at, std::int32_t edge) { return at >= edge - kRegionEdgeReach && at <= edge + kRegionEdgeReach; };
    const bool alongX = point.x >= r.left - kRegionEdgeReach && point.x <= r.right + kRegionEdgeReach;
    const bool alongY = point.y >= r.top - kRegionEdgeReach && point.y <= r.bottom + kRegionEdgeReach;
    if (!alongX || !alongY) return hit;
    // The right and bottom edges are drawn on the region's last pixels.
    const bool left = near(point.x, r.left), right = !left && near(point.x, r.right - 1);
    const bool top = near(point.y, r.top), bottom = !top && near(point.y, r.bottom - 1);
    if (top && left) return hitTopLeft;
    if (top && right) return hitTopRight;
    if (bottom && right) return hitBottomRight;
    if (bottom && left) return hitBottomLeft;
    if (top) return hitTop;
    if (bottom) return hitBottom;
    if (left) return hitLeft;
    if (right) return hitRight;
    return hit;
}

void RegionTracker::AdjustRect(int handle, Rect32& r) {
    if (bounds.IsEmpty()) return;
    if (handle == hitMiddle) {
        // Right before left and bottom before top: a region larger than
        // the window ends flush with its left and top.
        if (r.right > bounds.right) {
            const std::int32_t shift = r.right - bounds.right;
            r.left -= shift;
            r.right -= shift;
        }
        if (r.left < bounds.left) {
            const std::int32_t shift = bounds.left - r.left;
            r.left += shift;
            r.right += shift;
        }
        if (r.bottom > bounds.bottom) {
            const std::int32_t shift = r.bottom - bounds.bottom;
            r.top -= shift;
            r.bottom -= shift;
        }
        if (r.top < bounds.top) {
            const std::int32_t shift = bounds.top - r.top;
            r.top += shift;
            r.bottom += shift;
        }
        return;
    }

    if (sizeReached) RectTracker::AdjustRect(handle, r);
    std::int32_t* px = nullptr;
    std::int32_t* py = nullptr;
    GetModifyPointers(r, handle, px, py);
    if (px != nullptr) *px = std::clamp(*px, bounds.left, bounds.right);
    if (py != nullptr) *py = std::clamp(*py, bounds.top, bounds.bottom);
    if (px != nullptr && std::abs(r.Width()) < minWidth) *px = px == &r.left ? r.right : r.left;
    if (py != nullptr && std::abs(r.Height()) < minHeight) *py = py == &r.top ? r.bottom : r.top;
    if (!sizeReached) {
        const std::int32_t w = std::abs(r.Width());
        const std::int32_t h = std::abs(r.Height());
        sizeReached = (h >= kRegionMinimumSize && w >= kRegionMinimumSize) || h > 2 * kRegionMinimumSize ||
                      w > 2 * kRegionMinimumSize;
    }
}

bool RegionTracker::TrackMove(DragInput& input, Point32 point) {
    sizeReached = true;
    const Rect32 remembered = rect;
    const bool success = Track(input, point, true) && !Normalized(rect).IsEmpty();
    if (!success) rect = remembered;
    return success;
}

bool RegionTracker::TrackNew(DragInput& input, Point32 point) {
    sizeReached = false;
    const Rect32 remembered = rect;
    const bool success = TrackRubberBand(input, point, true) && !Normalized(rect).IsEmpty();
    if (!success) rect = remembered;
    return success;
}

Rect32 InsetForDrawing(const Rect32& region) {
    Rect32 r = Normalized(region);
    if (r.IsEmpty()) return Rect32{};
    return Rect32{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
}
