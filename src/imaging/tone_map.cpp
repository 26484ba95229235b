// Building the tone map from the calibration and the controls. Everything
// here is arithmetic on 256 levels: a scan pays nothing per pixel for it,
// since the scanner (or the preview's level table) applies the result.
#include "imaging/tone_map.h"

#include <algorithm>
#include <cmath>

namespace {

double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// One calibrated level (0 to 255) through the controls, as 0 to 1.
double Control(const ToneControls& c, int calibrated) {
    const int shadow = std::clamp(c.shadow, 0, 254);
    const int highlight = std::clamp(c.highlight, shadow + 1, 255);
    double v = Clamp01(double(calibrated - shadow) / (highlight - shadow));
    // Gamma on top of the calibration's: 2.2 leaves the curve as it is, a
    // larger gamma lightens the middle tones, a smaller one darkens them.
    const double gamma = std::clamp(c.gammaHundredths, 1, 100000) / 100.0;
    v = std::pow(v, 2.2 / gamma);
    // Brightness bends the curve through black and white, so it moves
    // every level between them and clips none: +500 is the square root.
    v = std::pow(v, std::exp2(-std::clamp(c.brightness, -1000, 1000) / 500.0));
    // Contrast scales the distance from the middle: +500 doubles it,
    // -500 halves it.
    const double slope = std::exp2(std::clamp(c.contrast, -1000, 1000) / 500.0);
    return Clamp01(0.5 + (v - 0.5) * slope);
}

}  // namespace

void BuildCalibrationCurve(std::uint8_t* table, int shadow, unsigned highlight, double gamma) {
    if (table == nullptr) return;
    const double oneOver255 = 1.0 / 255;
    for (int i = 0; i < 256; ++i) {
        double v;
        if (i <= shadow) {
            v = 0;
        } else if (static_cast<unsigned>(i) > highlight) {
            v = 255;
        } else {
            v = std::pow(i * oneOver255, 1.0 / gamma) * 65025 / highlight;
            v = std::min(v, 255.0);
            if (!(v >= 0)) v = 0;  // a gamma of 0 or less must not give NaN or negatives
        }
        int e = static_cast<int>(v);
        // Near black the curve rises by at most 8 per input step.
        const int limit = 8 * (i - shadow);
        if (e > limit) e = limit;
        table[255 - i] = static_cast<std::uint8_t>(e);
    }
}

void BuildToneLevels(const ToneCalibration& calibration, const ToneControls& controls, std::uint8_t levels[256]) {
    std::uint8_t curve[256];
    BuildCalibrationCurve(curve, 0, static_cast<unsigned>(std::clamp(calibration.highlight, 1, 255)),
                          calibration.gamma);
    const bool plain = controls == ToneControls{};
    for (int input = 0; input < 256; ++input) {
        const int calibrated = curve[255 - input];
        levels[input] = plain ? static_cast<std::uint8_t>(calibrated)
                              : static_cast<std::uint8_t>(std::lround(Control(controls, calibrated) * 255));
    }
}

void BuildScannerToneMap(const ToneCalibration& calibration, const ToneControls& controls, std::uint8_t table[256]) {
    std::uint8_t levels[256];
    BuildToneLevels(calibration, controls, levels);
    for (int input = 0; input < 256; ++input) table[255 - input] = levels[input];
}
