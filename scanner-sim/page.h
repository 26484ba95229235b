// What lies on the simulated scanner's bed: a page that can be read one
// row at a time in cells of 1/300 inch, red, green and blue per cell. The
// scan engine samples it at whatever resolution a scan asks for, so every
// scan of the same spot sees the same original. A page may also tell how
// many rows repeat a row exactly and which earlier row a row repeats, so
// that the engine draws such rows once; a page that says nothing is drawn
// row by row.
#pragma once

#include <cstdint>

namespace sim {

// The bed of an 8.5 by 14 inch flatbed, in 1/300 inch.
constexpr int kBedWidth = 2550;
constexpr int kBedHeight = 4200;

class Page {
public:
    virtual ~Page() = default;
    // Writes cells x0 to x1 - 1 of bed row y (0 <= y < kBedHeight,
    // 0 <= x0 <= x1 <= kBedWidth) as red, green, blue bytes to rgb.
    virtual void ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const = 0;
    // How many rows from y on (y itself included) are identical to row y
    // across the whole bed width: at least 1, at most kBedHeight - y. A
    // page that wraps another combines its own bands with the other's.
    virtual int RowsLike(int y) const { return 1; }
    // A row at or above y identical to row y across the whole bed width:
    // y itself when none is known. Rows repeating a pattern, or blank
    // paper far apart, name the same row, so that the engine reuses what
    // it made of it.
    virtual int RowDrawnLike(int y) const { return y; }
};

}  // namespace sim
