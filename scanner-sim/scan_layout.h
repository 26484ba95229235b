// The parameters of a scan and the geometry they lead to. The window is
// kept in 1/300 inch on the bed; the scan samples it at the resolution
// times the scaling, the same rate across and down. The geometry is what
// GetScanGeometry reports and exactly what ReadScanData delivers: whole
// lines without padding, so total bytes = lines * bytes per line.
#pragma once

#include <cstdint>

#include "page.h"

namespace sim {

enum class DataType : std::int16_t { BiLevel = 0, Grey = 4, Colour = 5 };

constexpr int kMinResolution = 12;
constexpr int kMaxResolution = 2400;
constexpr int kMinScaling = 10;
constexpr int kMaxScaling = 400;
// The geometry record and the inquiries carry signed 16-bit values.
constexpr int kGeometryLimit = 32767;

struct ScanWindow {
    int left = 0;
    int top = 0;
    int width = kBedWidth;
    int height = kBedHeight;
};

struct ScanParameters {
    DataType dataType = DataType::Grey;
    int resolution = 75;
    int scaling = 100;
    ScanWindow window;
};

struct ScanLayout {
    ScanWindow window;      // the window actually scanned, cut to what the geometry can hold
    std::int64_t rate = 0;  // dots per 100 inches: resolution * scaling percent
    int pixelsPerLine = 0;
    int bytesPerLine = 0;
    int lines = 0;
    bool cut = false;  // the window had to be made smaller
};

// Cuts a window to the bed. Returns true when it had to.
bool ClipWindowToBed(ScanWindow& window);

// The geometry of a scan with these parameters (their window on the bed).
// A window wider or longer than the 16-bit fields can describe is cut to
// the largest that fits.
ScanLayout ComputeLayout(const ScanParameters& parameters);

}  // namespace sim
