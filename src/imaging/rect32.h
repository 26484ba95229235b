// Rect32: the one rectangle of the source, edges in 32-bit counts, the
// right and bottom edges outside it. Frames and scan regions are Rect32s in
// 1/300 inch; the preview's rectangles are Rect32s in its pixels.
#pragma once

#include <algorithm>
#include <cstdint>

struct Rect32 {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect32& other) const {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
    bool operator!=(const Rect32& other) const { return !(*this == other); }
    // The rectangle held inside `bounds`, each edge moved no further than it
    // must; one with nothing inside comes back without area (its right edge
    // at its left, or its bottom at its top), never inside out.
    Rect32 ClampedTo(const Rect32& bounds) const {
        const std::int32_t l = std::clamp(left, bounds.left, bounds.right);
        const std::int32_t t = std::clamp(top, bounds.top, bounds.bottom);
        return Rect32{l, t, std::clamp(right, l, bounds.right), std::clamp(bottom, t, bounds.bottom)};
    }
};
