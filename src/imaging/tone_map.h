// The scanner's tone map: the 256 output levels the scanner gives its input
// levels, built from two things. The calibration is the user's, from
// vorelsrc.ini: the input level that is white (highlight) and the gamma of
// the scanner's curve. The controls are the application's (the tone
// capabilities) and act on the calibrated levels: shadow and highlight
// stretch them, gamma bends them, brightness lifts them, contrast spreads
// them about the middle. With every control at its default the map is the
// calibration alone.
//
// The same map goes to the scanner for a final scan and is applied by the
// preview to the page it read without one, so both show the same levels.
#pragma once

#include <cstdint>

struct ToneCalibration {
    int highlight = 220;  // input level at and above which the scan is white
    double gamma = 2.2;
};

struct ToneControls {
    int brightness = 0;         // -1000 to 1000
    int contrast = 0;           // -1000 to 1000
    int gammaHundredths = 220;  // 2.2: the curve as calibrated
    int shadow = 0;             // calibrated level that becomes black
    int highlight = 255;        // calibrated level that becomes white; one at or
                                // below the shadow is taken as the shadow + 1

    bool operator==(const ToneControls& other) const {
        return brightness == other.brightness && contrast == other.contrast &&
               gammaHundredths == other.gammaHundredths && shadow == other.shadow && highlight == other.highlight;
    }
    bool operator!=(const ToneControls& other) const { return !(*this == other); }
};

// The output level of each input level, levels[input].
void BuildToneLevels(const ToneCalibration& calibration, const ToneControls& controls, std::uint8_t levels[256]);

// The same map in the scanner's order: from the brightest input down
// (table[255 - input]), as block type 1 takes it.
void BuildScannerToneMap(const ToneCalibration& calibration, const ToneControls& controls, std::uint8_t table[256]);

// The calibration curve alone, in the scanner's order: black up to `shadow`,
// white above `highlight`, the power 1/gamma between, rising by at most 8
// per input level near black.
void BuildCalibrationCurve(std::uint8_t* table, int shadow, unsigned highlight, double gamma);
