// Produces the lines of a scan one at a time, as the scanner's carriage
// would: the page under each output pixel is averaged when the pixel is
// larger than a cell (so a preview shows what a fine scan of the same
// spot shows, only blurred) and taken from the cell under its centre when
// it is smaller. The colour matrix, the levels (tone map and invert) and
// the data type are then applied. Only one line of the page is held at a
// time, whatever the size of the scan.
//
// Most of a page is bands of equal rows (Page::RowsLike), and many rows
// repeat rows far above them (Page::RowDrawnLike). A line whose page rows
// all lie in the band of the line before it is that line again; a line
// whose rows repeat those of one of the last lines drawn is that line; and
// a line is drawn from each band of rows under it once, not once per row.
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

    // Output line `line` (0 <= line < layout.lines): layout.bytesPerLine
    // bytes, valid until the next call.
    const std::uint8_t* RenderLine(int line);

private:
    struct Rows {
        int first;  // bed rows first to end - 1
        int end;
    };
    // A line drawn lately and what it was drawn from: per band of its rows,
    // the row the band is drawn like and the band's height.
    struct DrawnLine {
        std::vector<int> bands;
        std::vector<std::uint8_t> pixels;
        std::uint64_t lastUse = 0;  // 0: holds nothing
    };
    static constexpr std::size_t kDrawnLines = 16;

    Rows RowsOf(int line) const;
    void DrawSampled(int row, std::uint8_t* to);
    void DrawAveraged(const std::vector<int>& bands, std::uint8_t* to);
    // Applies matrix, levels and data type to `count` red, green, blue
    // triples: 3 bytes each out for colour, 1 for grey, 1 (0 black, 1
    // white) for bi-level.
    void Level(const std::uint8_t* rgb, std::uint8_t* to, int count) const;
    void PackBits(const std::uint8_t* white, const int* index, std::uint8_t* to) const;

    const Page& page;
    ScanLayout layout;
    DataType type;
    ColourMatrix matrix;
    bool permutation = false;        // the matrix only reorders the channels
    std::array<int, 3> channelOf{};  // for a permutation: input channel of output channel k
    LevelMap levels;
    bool averaging;                   // pixels larger than a cell
    bool cellPerPixel;                // pixel i is cell i
    std::vector<int> cellOf;          // per pixel: first cell (averaging) or centre cell, from the window's left
    std::vector<int> pixelIndex;      // 0, 1, 2, ... for packing averaged bi-level pixels
    std::vector<std::uint8_t> cells;  // one page row across the window
    std::vector<std::uint8_t> levelled;  // the cells of a row levelled, or the averaged pixels levelled
    std::vector<std::uint32_t> sums;     // per pixel and channel, its cells summed down the line's rows
    std::vector<std::uint8_t> samples;   // red, green, blue per output pixel (averaging)
    std::array<DrawnLine, kDrawnLines> drawn;
    std::vector<int> bands;              // the bands under the line being rendered
    std::uint64_t useClock = 0;
    const std::uint8_t* current = nullptr;  // the line rendered last
    // Any line whose page rows lie within [likeFirst, likeEnd) is `current`.
    int likeFirst = 0;
    int likeEnd = -1;
};

}  // namespace sim
