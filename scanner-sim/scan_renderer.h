// Produces the lines of a scan one at a time, as the scanner's carriage
// would: the page under each output pixel is averaged when the pixel is
// larger than a cell (so a preview shows what a fine scan of the same
// spot shows, only blurred) and taken from the cell under its centre when
// it is smaller. The colour matrix, the levels (tone map and invert) and
// the data type are then applied. Only one line of the page is held at a
// time, whatever the size of the scan.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "page.h"
#include "scan_layout.h"

namespace sim {

// Nine signed coefficients, three rows of three; 64 stands for 1. Output
// channel k is row k applied to the page's red, green and blue.
using ColourMatrix = std::array<std::int8_t, 9>;
// Output level for each level the scanner sees (after matrix or grey).
using LevelMap = std::array<std::uint8_t, 256>;

class ScanRenderer {
public:
    ScanRenderer(const Page& page, const ScanLayout& layout, DataType type, const ColourMatrix& matrix,
                 const LevelMap& levels);

    // Writes output line `line` (0 <= line < layout.lines) as
    // layout.bytesPerLine bytes.
    void RenderLine(int line, std::uint8_t* out);

private:
    void SamplePage(int line);
    void ApplyColour(std::uint8_t* out) const;
    void ApplyGrey(std::uint8_t* out) const;
    void ApplyBiLevel(std::uint8_t* out) const;

    const Page& page;
    ScanLayout layout;
    DataType type;
    ColourMatrix matrix;
    bool plainMatrix;
    LevelMap levels;
    bool averaging;                  // pixels larger than a cell
    std::vector<int> cellOf;         // per pixel: first cell (averaging) or centre cell, from the window's left
    std::vector<std::uint8_t> cells;  // one page row across the window
    std::vector<std::uint32_t> sums;  // cell sums down the rows of one output line
    std::vector<std::uint8_t> samples;  // red, green, blue per output pixel
    int cachedRow = -1;
};

}  // namespace sim
