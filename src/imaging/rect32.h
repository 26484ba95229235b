// Rect32: the one rectangle of the source, edges in 32-bit counts, the
// right and bottom edges outside it. Frames and scan regions are Rect32s in
// 1/300 inch; the preview's rectangles are Rect32s in its pixels.
#pragma once

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
};
