// Frames larger than the scanner library can take at once. Its sizes are
// 16-bit: at most 32767 pixels per line, bytes per line and lines. A larger
// frame is scanned as several windows and joined: bands of rows, each band
// cut into columns when a line is too long. The pieces meet exactly: the
// scanner puts pixel i of a window at (i x 300 / dpi) 1/300 inch from its
// edge, so a piece that starts k whole "units" (300 / gcd(dpi, 300) of
// 1/300 inch, which are dpi / gcd(dpi, 300) pixels) into the frame gives
// precisely the pixels and lines the frame would have there. With scaling
// the same holds of the rate dpi x percent in dots per 100 inches, in
// units of 30000 / gcd(rate, 30000) of 1/300 inch.
#pragma once

#include <cstdint>
#include <vector>

// The most one window of the scanner library holds.
constexpr int kScannerSizeLimit = 32767;

struct ScanColumn {
    int leftCells = 0;     // from the bed's left edge, 1/300 inch
    int widthCells = 0;
    int pixels = 0;
    int bytesPerLine = 0;
    int byteOffset = 0;    // where its bytes start in a line of the frame
};

struct ScanPlan {
    // False when the frame fits one window: the scanner is asked as it is.
    bool pieces = false;
    // False when the frame cannot be cut into pieces that join exactly.
    bool possible = true;
    // The frame as a whole.
    int pixelsPerLine = 0;
    int bytesPerLine = 0;
    int lines = 0;
    int resolution = 0;
    int scaling = 100;  // percent, on both axes
    int topCells = 0;
    int heightCells = 0;
    // Lines per band (a whole number of units; the last band may have
    // fewer) and the 1/300 inch they span.
    int bandLines = 0;
    int bandCells = 0;
    std::vector<ScanColumn> columns;
};

// The most bytes of a band of joined columns held at once.
constexpr std::uint32_t kBandBufferLimit = 64u << 20;

// The plan for the five-value window record (resolution, left, top, width,
// height in 1/300 inch) at `bitsPerPixel` (1, 8 or 24) and `scaling`
// percent, on a bed of bedWidth x bedHeight 1/300 inch (0: not known, no
// clipping).
ScanPlan PlanScan(const std::uint16_t window[5], std::uint32_t bitsPerPixel, int bedWidth, int bedHeight,
                  int scaling = 100);

// The window record of band `band` (its first line is band x bandLines) and
// column `column` of the plan; the lines that band has.
int PieceWindow(const ScanPlan& plan, int band, int column, std::uint16_t window[5]);
