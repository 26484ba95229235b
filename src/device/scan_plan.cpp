// Cutting a frame into windows the scanner library can take.
#include "device/scan_plan.h"

#include <algorithm>
#include <cstdint>

namespace {

int Gcd(int a, int b) {
    while (b != 0) {
        const int t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// Dots (pixels or lines) the scanner gives for a length in 1/300 inch at
// `rate` dots per 100 inches (the resolution times the scaling in percent).
int Dots(int cells, std::int64_t rate) { return static_cast<int>(std::int64_t(cells) * rate / 30000); }

int BytesPerLine(std::uint32_t bitsPerPixel, int pixels) {
    return static_cast<int>((std::int64_t(pixels) * bitsPerPixel + 7) / 8);
}

// Pixels one window may have in a line: its bytes must fit too.
int MostPixels(std::uint32_t bitsPerPixel) {
    return bitsPerPixel == 24 ? kScannerSizeLimit / 3 : kScannerSizeLimit;
}

}  // namespace

ScanPlan PlanScan(const std::uint16_t window[5], std::uint32_t bitsPerPixel, int bedWidth, int bedHeight,
                  int scaling) {
    ScanPlan plan;
    const int dpi = window[0];
    const std::int64_t rate = std::int64_t(dpi) * scaling;
    int left = window[1], top = window[2], width = window[3], height = window[4];
    if (bedWidth > 0) {
        left = std::min(left, bedWidth);
        width = std::min(width, bedWidth - left);
    }
    if (bedHeight > 0) {
        top = std::min(top, bedHeight);
        height = std::min(height, bedHeight - top);
    }
    if (rate <= 0 || (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24)) return plan;
    plan.resolution = dpi;
    plan.scaling = scaling;
    plan.pixelsPerLine = Dots(width, rate);
    plan.bytesPerLine = BytesPerLine(bitsPerPixel, plan.pixelsPerLine);
    plan.lines = Dots(height, rate);
    plan.topCells = top;
    plan.heightCells = height;
    const int most = MostPixels(bitsPerPixel);
    if (plan.pixelsPerLine <= most && plan.lines <= kScannerSizeLimit) return plan;
    plan.pieces = true;

    // The device holds the scaling to 1000 %: the rate and every quantity
    // below fit an int.
    const int g = Gcd(static_cast<int>(rate), 30000);
    const int unitCells = 30000 / g;
    const int unitDots = static_cast<int>(rate / g);
    // Columns: as few as hold the line, of equal whole units; a bi-level
    // column must also start on a whole byte.
    int unitsPerColumn = most / unitDots;
    if (bitsPerPixel == 1) {
        const int step = 8 / Gcd(unitDots, 8);
        unitsPerColumn -= unitsPerColumn % step;
    }
    const int units = (width + unitCells - 1) / unitCells;
    if (unitsPerColumn <= 0) {
        plan.possible = false;
        return plan;
    }
    const int columnCount = (units + unitsPerColumn - 1) / unitsPerColumn;
    if (columnCount > 1 && bitsPerPixel != 1) unitsPerColumn = (units + columnCount - 1) / columnCount;
    for (int at = 0; at < width; at += unitsPerColumn * unitCells) {
        ScanColumn column;
        column.leftCells = left + at;
        column.widthCells = std::min(unitsPerColumn * unitCells, width - at);
        column.pixels = Dots(column.widthCells, rate);
        column.bytesPerLine = BytesPerLine(bitsPerPixel, column.pixels);
        column.byteOffset = BytesPerLine(bitsPerPixel, Dots(at, rate));
        if (column.pixels > 0) plan.columns.push_back(column);
    }

    // Bands: as many lines as one window takes; with several columns, as
    // many as a band buffer of about 8 MB holds.
    int unitsPerBand = kScannerSizeLimit / unitDots;
    if (plan.columns.size() > 1) {
        const std::int64_t unitBytes = std::int64_t(unitDots) * plan.bytesPerLine;
        if (unitBytes > kBandBufferLimit) {
            plan.possible = false;
            return plan;
        }
        unitsPerBand = std::min<std::int64_t>(unitsPerBand, std::max<std::int64_t>(1, (8 << 20) / unitBytes));
    }
    if (unitsPerBand <= 0) {
        plan.possible = false;
        return plan;
    }
    plan.bandLines = unitsPerBand * unitDots;
    plan.bandCells = unitsPerBand * unitCells;
    return plan;
}

int PieceWindow(const ScanPlan& plan, int band, int column, std::uint16_t window[5]) {
    const ScanColumn& piece = plan.columns[static_cast<std::size_t>(column)];
    const int offset = band * plan.bandCells;
    const int cells = std::min(plan.bandCells, plan.heightCells - offset);
    window[0] = static_cast<std::uint16_t>(plan.resolution);
    window[1] = static_cast<std::uint16_t>(piece.leftCells);
    window[2] = static_cast<std::uint16_t>(plan.topCells + offset);
    window[3] = static_cast<std::uint16_t>(piece.widthCells);
    window[4] = static_cast<std::uint16_t>(cells);
    return std::min(plan.bandLines, plan.lines - band * plan.bandLines);
}
