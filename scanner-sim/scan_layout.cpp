// Working out the geometry of a scan. All arithmetic is done in 64 bits:
// a window of 2550 cells at 2400 dpi and 400 % is far beyond 16 bits
// before it is cut.
#include "scan_layout.h"

#include <algorithm>

namespace sim {
namespace {

// Output dots from a length in 1/300 inch at rate dots per 100 inches.
std::int64_t Dots(int length, std::int64_t rate) { return static_cast<std::int64_t>(length) * rate / 30000; }

// The longest length whose dot count does not exceed maxDots.
int LongestLength(int maxDots, std::int64_t rate) {
    return static_cast<int>(((static_cast<std::int64_t>(maxDots) + 1) * 30000 - 1) / rate);
}

int MaxPixelsPerLine(DataType type) {
    return type == DataType::Colour ? kGeometryLimit / 3 : kGeometryLimit;
}

int BytesPerLine(DataType type, int pixels) {
    switch (type) {
    case DataType::BiLevel: return (pixels + 7) / 8;
    case DataType::Colour: return pixels * 3;
    default: return pixels;
    }
}

}  // namespace

bool ClipWindowToBed(ScanWindow& window) {
    const ScanWindow wanted = window;
    window.left = std::clamp(window.left, 0, kBedWidth);
    window.top = std::clamp(window.top, 0, kBedHeight);
    window.width = std::clamp(window.width, 0, kBedWidth - window.left);
    window.height = std::clamp(window.height, 0, kBedHeight - window.top);
    return window.left != wanted.left || window.top != wanted.top || window.width != wanted.width ||
           window.height != wanted.height;
}

ScanLayout ComputeLayout(const ScanParameters& parameters) {
    ScanLayout layout;
    layout.window = parameters.window;
    ClipWindowToBed(layout.window);
    layout.rate = static_cast<std::int64_t>(parameters.resolution) * parameters.scaling;
    if (layout.rate <= 0) {
        layout.window.width = 0;
        layout.window.height = 0;
        return layout;
    }
    const int maxPixels = MaxPixelsPerLine(parameters.dataType);
    if (Dots(layout.window.width, layout.rate) > maxPixels) {
        layout.window.width = LongestLength(maxPixels, layout.rate);
        layout.cut = true;
    }
    if (Dots(layout.window.height, layout.rate) > kGeometryLimit) {
        layout.window.height = LongestLength(kGeometryLimit, layout.rate);
        layout.cut = true;
    }
    layout.pixelsPerLine = static_cast<int>(Dots(layout.window.width, layout.rate));
    layout.lines = static_cast<int>(Dots(layout.window.height, layout.rate));
    layout.bytesPerLine = BytesPerLine(parameters.dataType, layout.pixelsPerLine);
    return layout;
}

}  // namespace sim
