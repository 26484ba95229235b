// BlankPageJudge: whether a scanned page holds anything a reader would
// miss. The paper's own level is found first (the page's median), so
// coloured or greyish paper is paper too; a pixel clearly darker than it is
// ink, and ink counts only where it forms a stroke (the pixel has at least
// two inked neighbours), so the scanner's noise and single specks of dust
// never make a page. A page whose most part is dark is never blank.
//
// The judge only reads the rows it is given; it keeps no state between
// pages and knows nothing of the scanner or TWAIN.
#pragma once

#include <cstddef>
#include <cstdint>

// Rows of a scan as the scanner delivers them: 1 bit (1 white, most
// significant bit first), 8-bit grey (0 black) or 24-bit colour, each row
// `stride` bytes apart. `inverted`: 1- and 8-bit levels run from white.
struct ScanRows {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    std::uint32_t pixels = 0;
    std::uint32_t lines = 0;
    std::uint32_t bitsPerPixel = 8;
    bool inverted = false;
};

class BlankPageJudge {
public:
    // How much darker than the paper a pixel must be to be ink.
    static constexpr int kInkContrast = 64;
    // A paper level below this is no paper: the page is dark, not blank.
    static constexpr int kDarkestPaper = 128;
    // The ink a page needs to be kept by the automatic judgement: a
    // hundredth of a square inch of strokes, far less than one word.
    static constexpr double kInkSquareInches = 0.01;

    // Counts the stroke pixels of the page, stopping once `enough` are
    // found. A dark page answers `enough`.
    static std::uint64_t StrokePixels(const ScanRows& rows, std::uint64_t enough = UINT64_MAX);

    // The automatic judgement at `dpi` (the page's resolution, both axes).
    static bool IsBlank(const ScanRows& rows, std::uint32_t dpi);
    // A page is blank when its strokes fill fewer than `bytes` bytes of
    // the image (0: never blank).
    static bool IsBlankByBytes(const ScanRows& rows, std::uint32_t bytes);
};
