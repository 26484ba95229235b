// The knobs that make the simulated scanner behave like a particular model
// or fail in a particular way, read from the VOREL_SIM_* environment
// variables. A value that cannot be understood is reported on stderr and
// replaced by the default, so a typo never stops a scan.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sim {

// What a sheet of the feeder holds (VOREL_SIM_SHEET_CONTENT).
enum class SheetContent {
    Page,       // the page, with the sheet's number
    Blank,      // paper with the scanner's noise and specks of dust
    Line,       // one line of text on such paper
    Signature,  // a signature on such paper
};

struct SimulatorSettings {
    bool colour = true;                // VOREL_SIM_COLOR: data type 5 available
    std::int16_t openStatus = 0;       // VOREL_SIM_OPEN: what OpenScanner(..., 1) answers
    std::int16_t resetStatus = 0;      // VOREL_SIM_RESET: what ResetScanner answers
    bool feederEnabled = false;        // VOREL_SIM_FEEDER enabled or loaded
    bool feederLoaded = false;         // VOREL_SIM_FEEDER loaded
    bool matrix7 = true;               // VOREL_SIM_MATRIX7: built-in colour matrix 7 available
    std::int32_t lineLimit = -1;       // VOREL_SIM_LINES: lines delivered before the scanner stops; -1 none
    std::int32_t sheets = 1;           // VOREL_SIM_SHEETS: sheets in a loaded feeder
    std::int32_t jamSheet = 0;         // VOREL_SIM_JAM: the feeder jams on this sheet; 0 never
    std::string pagePath;              // VOREL_SIM_PAGE: picture to scan instead of the built-in page
    std::string logPath;               // VOREL_SIM_LOG: file that receives one line per call
    std::int32_t failAt = 0;           // VOREL_SIM_FAIL_AT: the n-th library call fails; 0 none
    std::int16_t failStatus = -6;      // VOREL_SIM_FAIL_STATUS: what that call answers (never 0)
    std::int64_t rate = 0;             // VOREL_SIM_RATE: bytes per second a scan delivers; 0 as fast as it can
    std::vector<SheetContent> sheetContent;  // VOREL_SIM_SHEET_CONTENT: sheet 1, 2, ...; Page beyond
};

// Reads the environment; complaints about bad values go to diagnostics.
SimulatorSettings ReadSimulatorSettings(std::FILE* diagnostics);

}  // namespace sim
