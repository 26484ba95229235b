// The simulated scanner: one object holding everything a real flatbed
// keeps between commands (open or not, the scan set-up, the downloaded
// tone map and colour matrix, the status of the last command and the scan
// under way) and answering the twelve commands of the command library.
//
// A few rules a user of the scanner can rely on:
// - Every command but GetCommandError first needs OpenScanner(..., 1).
// - A command either is accepted (status 0) or rejected (non-zero status);
//   GetCommandError repeats the last status until the next command.
//   SetScanWindow is the one command that is rejected and still takes
//   effect: a window off the bed or too large for the geometry fields is
//   cut to fit, so the geometry always describes what will be delivered.
// - ResetScanner restores the scan parameters (window = whole bed,
//   resolution, scaling, data type, invert); the downloaded tone map and
//   colour matrix and the choice of which are in use are kept, so a
//   downloaded matrix serves every following scan until another is chosen.
// - Any accepted change to the set-up abandons a scan under way; reading
//   again starts the new scan from its first byte.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/scanner_library.h"
#include "page.h"
#include "read_pacer.h"
#include "scan_layout.h"
#include "scan_renderer.h"
#include "simulator_settings.h"

namespace sim {

class Simulator {
public:
    Simulator();
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Back to the state after switching on, with the environment read anew.
    void PowerOn();

    std::int16_t OpenScanner(std::uint16_t window, std::int16_t flag);
    std::int16_t DownloadBlock(std::int16_t type, const void* buffer);
    std::int16_t GetScanGeometry(ScanGeometry* geometry);
    std::int16_t ResetScanner();
    std::int16_t ReadScanData(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got);
    std::int16_t SetScanResolution(std::int16_t x, std::int16_t y);
    std::int16_t SetScaling(std::int16_t x, std::int16_t y);
    std::int16_t SetScanWindow(const std::uint16_t* window, std::int16_t zero);
    std::int16_t UploadBlock(std::int16_t type, void* buffer, std::int16_t maxLength, std::int16_t* length);
    std::int16_t InquireParameter(std::int16_t code, std::int16_t form, std::int16_t* value);
    std::int16_t GetCommandError() const { return lastStatus; }
    std::int16_t SetParameter(std::int16_t code, std::int16_t value);

    // Counts one library call; true when it is the call VOREL_SIM_FAIL_AT
    // names, which then does nothing and answers `status`.
    bool InjectFailure(std::int16_t& status);

    // The number of the sheet the feeder fed last; 0 before the first.
    int SheetsFed() const { return sheetsFed; }

    // Records a failure of the simulator itself (an exception caught at the
    // library's boundary) as the last command's status.
    std::int16_t InternalError();

    const SimulatorSettings& Settings() const { return settings; }

private:
    enum class MatrixChoice { BuiltIn, Plain, Downloaded };
    enum class ScanState { Idle, Scanning, Finished, Jammed };

    std::int16_t Finish(std::int16_t status);
    std::int16_t SetParameterAccepted(std::int16_t code, std::int16_t value);
    void AbandonScan();
    void StartScan();
    const ColourMatrix& MatrixInUse() const;
    LevelMap Levels() const;

    SimulatorSettings settings;
    std::unique_ptr<Page> page;
    bool open = false;
    std::int16_t lastStatus = 0;
    std::int32_t callsSincePowerOn = 0;

    ScanParameters parameters;
    bool invert = false;
    MatrixChoice matrixChoice = MatrixChoice::BuiltIn;
    ColourMatrix downloadedMatrix{};
    bool haveDownloadedMatrix = false;
    std::array<std::uint8_t, 256> toneMap{};
    bool haveToneMap = false;
    bool toneMapInUse = false;

    // The document feeder: sheets still in it, and how many it has fed.
    // A scan started while it holds a sheet scans the next sheet.
    int sheetsLeft = 0;
    int sheetsFed = 0;
    std::unique_ptr<Page> sheet;  // the sheet under way, drawn over the page
    bool jamming = false;         // this sheet jams half way

    ScanState scanState = ScanState::Idle;
    ReadPacer pacer;
    std::int64_t bytesDelivered = 0;     // of the scan under way
    std::unique_ptr<ScanRenderer> renderer;
    ScanLayout scanLayout;
    int nextLine = 0;
    int linesToDeliver = 0;
    const std::uint8_t* line = nullptr;  // the line being delivered, held by the renderer
    int lineOffset = 0;                  // bytes of `line` already delivered
};

}  // namespace sim
