// The blank page judgement: a histogram pass finds the paper, a second
// pass marks ink row by row and counts the inked pixels with at least two
// inked neighbours, keeping three rows of marks.
#include "imaging/blank_page.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// The darkness of pixel x of a row as a grey level, 0 black. Colour takes
// red and blue alike, so the channel order does not matter.
int LevelAt(const ScanRows& rows, const std::uint8_t* row, std::uint32_t x) {
    switch (rows.bitsPerPixel) {
    case 1: {
        const bool set = (row[x >> 3] >> (7 - (x & 7)) & 1) != 0;
        return set != rows.inverted ? 255 : 0;
    }
    case 24: {
        const std::uint8_t* p = row + 3 * std::size_t(x);
        return (p[0] + 2 * p[1] + p[2] + 2) / 4;
    }
    default:
        return rows.inverted ? 255 - row[x] : row[x];
    }
}

// The paper's level: the median of the page.
int PaperLevel(const ScanRows& rows) {
    std::array<std::uint64_t, 256> histogram{};
    for (std::uint32_t y = 0; y < rows.lines; ++y) {
        const std::uint8_t* row = rows.data + y * rows.stride;
        for (std::uint32_t x = 0; x < rows.pixels; ++x) ++histogram[static_cast<std::size_t>(LevelAt(rows, row, x))];
    }
    const std::uint64_t half = (std::uint64_t(rows.pixels) * rows.lines + 1) / 2;
    std::uint64_t seen = 0;
    for (int level = 255; level >= 0; --level) {
        seen += histogram[static_cast<std::size_t>(level)];
        if (seen >= half) return level;
    }
    return 0;
}

}  // namespace

std::uint64_t BlankPageJudge::StrokePixels(const ScanRows& rows, std::uint64_t enough) {
    if (rows.data == nullptr || rows.pixels == 0 || rows.lines == 0) return 0;
    const int paper = PaperLevel(rows);
    if (paper < kDarkestPaper) return enough;
    const int inkBelow = paper - kInkContrast;

    // Marks of rows y - 1, y and y + 1, with a column of no ink either side.
    const std::size_t width = std::size_t(rows.pixels) + 2;
    std::vector<std::uint8_t> marks(3 * width, 0);
    auto mark = [&](std::uint32_t y, std::uint8_t* into) {
        if (y >= rows.lines) {
            std::fill(into, into + width, std::uint8_t{0});
            return;
        }
        const std::uint8_t* row = rows.data + y * rows.stride;
        for (std::uint32_t x = 0; x < rows.pixels; ++x) into[x + 1] = LevelAt(rows, row, x) < inkBelow ? 1 : 0;
    };
    std::uint8_t* above = marks.data();
    std::uint8_t* here = above + width;
    std::uint8_t* below = here + width;
    mark(0, here);
    mark(1, below);
    std::uint64_t strokes = 0;
    for (std::uint32_t y = 0; y < rows.lines; ++y) {
        for (std::size_t x = 1; x + 1 < width; ++x) {
            if (here[x] == 0) continue;
            const int neighbours = above[x - 1] + above[x] + above[x + 1] + here[x - 1] + here[x + 1] + below[x - 1] +
                                   below[x] + below[x + 1];
            if (neighbours >= 2 && ++strokes >= enough) return strokes;
        }
        std::uint8_t* spare = above;
        above = here;
        here = below;
        below = spare;
        mark(y + 2, below);
    }
    return strokes;
}

bool BlankPageJudge::IsBlank(const ScanRows& rows, std::uint32_t dpi) {
    const double perInch = std::max<std::uint32_t>(dpi, 1);
    const auto needed = static_cast<std::uint64_t>(kInkSquareInches * perInch * perInch) + 1;
    return StrokePixels(rows, needed) < needed;
}

bool BlankPageJudge::IsBlankByBytes(const ScanRows& rows, std::uint32_t bytes) {
    if (bytes == 0) return false;
    // The strokes' pixels as bytes of the image, rounded up.
    const std::uint64_t bitsPerPixel = std::max<std::uint32_t>(rows.bitsPerPixel, 1);
    const std::uint64_t needed = (std::uint64_t(bytes) * 8 + bitsPerPixel - 1) / bitsPerPixel;
    return StrokePixels(rows, needed) < needed;
}
