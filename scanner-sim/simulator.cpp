// The commands of the simulated scanner. Each one checks that the scanner
// is open and that every pointer it must use is there before it touches
// anything, and ends through Finish so that GetCommandError can tell what
// became of it.
#include "simulator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "built_in_page.h"
#include "picture_page.h"
#include "plain_sheet.h"
#include "sheet_page.h"
#include "simulator_status.h"

namespace sim {
namespace {

// SetParameter codes.
constexpr std::int16_t kColourProcessing = 1;
constexpr std::int16_t kResolution = 8;
constexpr std::int16_t kInvert = 22;
constexpr std::int16_t kDataType = 25;
constexpr std::int16_t kDataWidth = 26;
constexpr std::int16_t kToneMapChoice = 28;
constexpr std::int16_t kMatrixChoice = 36;

// InquireParameter codes and the forms they answer in.
constexpr std::int16_t kBedWidthCode = 18;
constexpr std::int16_t kBedHeightCode = 19;
constexpr std::int16_t kFeederEnabledCode = 43;
constexpr std::int16_t kFeederLoadedCode = 44;
constexpr std::int16_t kPixelsPerLineCode = 51;
constexpr std::int16_t kBytesPerLineCode = 52;
constexpr std::int16_t kLinesCode = 53;
constexpr std::int16_t kLengthForm = 72;
constexpr std::int16_t kCountForm = 82;

// Block types.
constexpr std::int16_t kToneMapBlock = 1;
constexpr std::int16_t kMatrixBlock = 2;
constexpr std::size_t kToneMapLength = 256;
constexpr std::size_t kMatrixLength = 9;

// ReadScanData modes.
constexpr std::int16_t kContinueScan = 0;
constexpr std::int16_t kStartScan = 2;

// Matrix 7 and matrix 0 both pass red, green and blue through unchanged.
constexpr ColourMatrix kPlainMatrix = {64, 0, 0, 0, 64, 0, 0, 0, 64};

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

Simulator::Simulator() { PowerOn(); }
Simulator::~Simulator() = default;

void Simulator::PowerOn() {
    AbandonScan();  // before the page it reads from goes
    settings = ReadSimulatorSettings(stderr);
    pacer.SetRate(settings.rate);
    page.reset();
    if (!settings.pagePath.empty()) {
        std::string error;
        page = LoadPicturePage(settings.pagePath, error);
        if (!page) {
            std::fprintf(stderr, "VOREL32 simulator: VOREL_SIM_PAGE=\"%s\" cannot be used: %s; scanning the built-in page\n",
                         settings.pagePath.c_str(), error.c_str());
        }
    }
    if (!page) page = std::make_unique<BuiltInPage>();
    open = false;
    lastStatus = kOk;
    callsSincePowerOn = 0;
    parameters = ScanParameters{};
    invert = false;
    matrixChoice = settings.matrix7 ? MatrixChoice::BuiltIn : MatrixChoice::Plain;
    downloadedMatrix = {};
    haveDownloadedMatrix = false;
    toneMap = {};
    haveToneMap = false;
    toneMapInUse = false;
    sheetsLeft = settings.feederLoaded ? settings.sheets : 0;
    sheetsFed = 0;
    AbandonScan();
}

std::int16_t Simulator::Finish(std::int16_t status) {
    lastStatus = status;
    return status;
}

bool Simulator::InjectFailure(std::int16_t& status) {
    if (callsSincePowerOn < INT32_MAX) ++callsSincePowerOn;
    if (settings.failAt == 0 || callsSincePowerOn != settings.failAt) return false;
    status = Finish(settings.failStatus);
    return true;
}

std::int16_t Simulator::InternalError() {
    AbandonScan();
    return Finish(kInternalError);
}

void Simulator::AbandonScan() {
    scanState = ScanState::Idle;
    renderer.reset();
    line = nullptr;
    sheet.reset();
    jamming = false;
}

std::int16_t Simulator::OpenScanner(std::uint16_t, std::int16_t flag) {
    if (flag == 0) {
        AbandonScan();
        open = false;
        return Finish(kOk);
    }
    if (flag != 1) return Finish(kBadValue);
    if (settings.openStatus != 0) return Finish(settings.openStatus);
    open = true;
    return Finish(kOk);
}

std::int16_t Simulator::ResetScanner() {
    if (!open) return Finish(kNotOpen);
    if (settings.resetStatus != 0) return Finish(settings.resetStatus);
    parameters = ScanParameters{};
    invert = false;
    AbandonScan();
    return Finish(kOk);
}

std::int16_t Simulator::SetParameter(std::int16_t code, std::int16_t value) {
    if (!open) return Finish(kNotOpen);
    const std::int16_t status = SetParameterAccepted(code, value);
    if (status == kOk) AbandonScan();
    return Finish(status);
}

std::int16_t Simulator::SetParameterAccepted(std::int16_t code, std::int16_t value) {
    switch (code) {
    case kColourProcessing:
        // Accepted and kept by a real scanner; it changes nothing in the data.
        return value == 0 || value == 1 ? kOk : kBadValue;
    case kResolution:
        if (!InRange(value, kMinResolution, kMaxResolution)) return kBadValue;
        parameters.resolution = value;
        return kOk;
    case kInvert:
        if (value != 0 && value != 1) return kBadValue;
        invert = value == 1;
        return kOk;
    case kDataType:
        if (value == static_cast<std::int16_t>(DataType::Colour) && !settings.colour) return kNotSupported;
        if (value != 0 && value != 4 && value != 5) return kBadValue;
        parameters.dataType = static_cast<DataType>(value);
        return kOk;
    case kDataWidth:
        return value == 8 ? kOk : kBadValue;
    case kToneMapChoice:
        if (value == 0) {
            toneMapInUse = false;
            return kOk;
        }
        if (value != -1 || !haveToneMap) return kBadValue;
        toneMapInUse = true;
        return kOk;
    case kMatrixChoice:
        if (value == 7) {
            if (!settings.matrix7) return kNotSupported;
            matrixChoice = MatrixChoice::BuiltIn;
            return kOk;
        }
        if (value == 0) {
            matrixChoice = MatrixChoice::Plain;
            return kOk;
        }
        if (value != -1 || !haveDownloadedMatrix) return kBadValue;
        matrixChoice = MatrixChoice::Downloaded;
        return kOk;
    default:
        return kBadValue;
    }
}

std::int16_t Simulator::SetScanResolution(std::int16_t x, std::int16_t y) {
    if (!open) return Finish(kNotOpen);
    if (!InRange(x, kMinResolution, kMaxResolution) || !InRange(y, kMinResolution, kMaxResolution))
        return Finish(kBadValue);
    // The carriage steps at the rate of the sensor: X serves both axes.
    parameters.resolution = x;
    AbandonScan();
    return Finish(kOk);
}

std::int16_t Simulator::SetScaling(std::int16_t x, std::int16_t y) {
    if (!open) return Finish(kNotOpen);
    if (!InRange(x, kMinScaling, kMaxScaling) || !InRange(y, kMinScaling, kMaxScaling)) return Finish(kBadValue);
    parameters.scaling = x;
    AbandonScan();
    return Finish(kOk);
}

std::int16_t Simulator::SetScanWindow(const std::uint16_t* window, std::int16_t zero) {
    if (!open) return Finish(kNotOpen);
    if (window == nullptr) return Finish(kBadPointer);
    if (zero != 0 || !InRange(window[0], kMinResolution, kMaxResolution)) return Finish(kBadValue);
    ScanParameters wanted = parameters;
    wanted.resolution = window[0];
    wanted.window = ScanWindow{window[1], window[2], window[3], window[4]};
    const bool clipped = ClipWindowToBed(wanted.window);
    const ScanLayout layout = ComputeLayout(wanted);
    wanted.window = layout.window;
    parameters = wanted;
    AbandonScan();
    if (clipped || layout.cut) return Finish(kWindowAdjusted);
    if (layout.pixelsPerLine == 0 || layout.lines == 0) return Finish(kEmptyWindow);
    return Finish(kOk);
}

std::int16_t Simulator::GetScanGeometry(ScanGeometry* geometry) {
    if (!open) return Finish(kNotOpen);
    if (geometry == nullptr) return Finish(kBadPointer);
    const ScanLayout layout = ComputeLayout(parameters);
    std::memset(geometry, 0, sizeof *geometry);
    geometry->pixelsPerLine = static_cast<std::int16_t>(layout.pixelsPerLine);
    geometry->bytesPerLine = static_cast<std::int16_t>(layout.bytesPerLine);
    geometry->lines = static_cast<std::int16_t>(layout.lines);
    geometry->totalBytes = static_cast<std::int32_t>(std::int64_t{layout.bytesPerLine} * layout.lines);
    return Finish(kOk);
}

std::int16_t Simulator::InquireParameter(std::int16_t code, std::int16_t form, std::int16_t* value) {
    if (!open) return Finish(kNotOpen);
    if (value == nullptr) return Finish(kBadPointer);
    const bool lengthForm = form == kLengthForm;
    const bool countForm = form == kCountForm;
    switch (code) {
    case kBedWidthCode:
        if (!lengthForm) return Finish(kBadValue);
        *value = kBedWidth;
        return Finish(kOk);
    case kBedHeightCode:
        if (!lengthForm) return Finish(kBadValue);
        *value = kBedHeight;
        return Finish(kOk);
    case kFeederEnabledCode:
    case kFeederLoadedCode:
        if (!countForm) return Finish(kBadValue);
        *value = (code == kFeederEnabledCode ? settings.feederEnabled : sheetsLeft > 0) ? 1 : 0;
        return Finish(kOk);
    case kPixelsPerLineCode:
    case kBytesPerLineCode:
    case kLinesCode: {
        if (!countForm) return Finish(kBadValue);
        const ScanLayout layout = ComputeLayout(parameters);
        const int answer = code == kPixelsPerLineCode  ? layout.pixelsPerLine
                           : code == kBytesPerLineCode ? layout.bytesPerLine
                                                       : layout.lines;
        *value = static_cast<std::int16_t>(answer);
        return Finish(kOk);
    }
    default:
        return Finish(kBadValue);
    }
}

std::int16_t Simulator::DownloadBlock(std::int16_t type, const void* buffer) {
    if (!open) return Finish(kNotOpen);
    if (buffer == nullptr) return Finish(kBadPointer);
    if (type == kToneMapBlock) {
        // Kept until SetParameter(28, -1) puts it in use.
        std::memcpy(toneMap.data(), buffer, kToneMapLength);
        haveToneMap = true;
    } else if (type == kMatrixBlock) {
        // A matrix sent to the scanner is in use from now on.
        std::memcpy(downloadedMatrix.data(), buffer, kMatrixLength);
        haveDownloadedMatrix = true;
        matrixChoice = MatrixChoice::Downloaded;
    } else {
        return Finish(kBadValue);
    }
    AbandonScan();
    return Finish(kOk);
}

std::int16_t Simulator::UploadBlock(std::int16_t type, void* buffer, std::int16_t maxLength, std::int16_t* length) {
    if (!open) return Finish(kNotOpen);
    if (buffer == nullptr || length == nullptr) return Finish(kBadPointer);
    // The tone map goes one way only; the matrix comes back as the one in use.
    if (type != kMatrixBlock || maxLength < static_cast<std::int16_t>(kMatrixLength)) return Finish(kBadValue);
    std::memcpy(buffer, MatrixInUse().data(), kMatrixLength);
    *length = static_cast<std::int16_t>(kMatrixLength);
    return Finish(kOk);
}

const ColourMatrix& Simulator::MatrixInUse() const {
    return matrixChoice == MatrixChoice::Downloaded ? downloadedMatrix : kPlainMatrix;
}

LevelMap Simulator::Levels() const {
    LevelMap levels;
    for (int input = 0; input < 256; ++input) {
        // The tone map is stored from the brightest input down.
        const std::uint8_t toned = toneMapInUse ? toneMap[255 - input] : static_cast<std::uint8_t>(input);
        levels[input] = invert ? static_cast<std::uint8_t>(255 - toned) : toned;
    }
    return levels;
}

void Simulator::StartScan() {
    AbandonScan();
    scanLayout = ComputeLayout(parameters);
    const int limit = settings.lineLimit;
    linesToDeliver = limit >= 0 ? std::min(limit, scanLayout.lines) : scanLayout.lines;
    nextLine = 0;
    bytesDelivered = 0;
    pacer.StartScan();
    const Page* source = page.get();
    if (sheetsLeft > 0) {
        // The feeder pulls its next sheet onto the glass.
        --sheetsLeft;
        ++sheetsFed;
        const std::size_t index = static_cast<std::size_t>(sheetsFed - 1);
        const SheetContent content =
            index < settings.sheetContent.size() ? settings.sheetContent[index] : SheetContent::Page;
        if (content == SheetContent::Page) {
            sheet = std::make_unique<SheetPage>(*page, sheetsFed);
        } else {
            sheet = std::make_unique<PlainSheet>(content);
        }
        source = sheet.get();
        jamming = sheetsFed == settings.jamSheet;
        if (jamming) linesToDeliver = std::min(linesToDeliver, scanLayout.lines / 2);
    }
    if (scanLayout.bytesPerLine <= 0 || linesToDeliver <= 0) {
        scanState = jamming ? ScanState::Jammed : ScanState::Finished;
        return;
    }
    renderer = std::make_unique<ScanRenderer>(*source, scanLayout, parameters.dataType, MatrixInUse(), Levels());
    line = nullptr;
    lineOffset = scanLayout.bytesPerLine;  // nothing left of the (no) current line
    scanState = ScanState::Scanning;
}

std::int16_t Simulator::ReadScanData(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got) {
    if (got != nullptr) *got = 0;
    if (!open) return Finish(kNotOpen);
    if (got == nullptr || (buffer == nullptr && count > 0)) return Finish(kBadPointer);
    if (count < 0 || (mode != kStartScan && mode != kContinueScan)) return Finish(kBadValue);
    // The first read after a set-up starts the scan whatever its mode; a
    // scan already under way goes on unless mode 2 asks for a new one.
    if (mode == kStartScan || scanState == ScanState::Idle) StartScan();
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t delivered = 0;
    while (scanState == ScanState::Scanning && delivered < count) {
        if (lineOffset == scanLayout.bytesPerLine) {
            if (nextLine >= linesToDeliver) {
                scanState = jamming ? ScanState::Jammed : ScanState::Finished;
                renderer.reset();
                line = nullptr;
                break;
            }
            line = renderer->RenderLine(nextLine++);
            lineOffset = 0;
        }
        const std::int32_t chunk = std::min(count - delivered, scanLayout.bytesPerLine - lineOffset);
        std::memcpy(out + delivered, line + lineOffset, static_cast<std::size_t>(chunk));
        lineOffset += chunk;
        delivered += chunk;
    }
    *got = delivered;
    bytesDelivered += delivered;
    pacer.Pace(bytesDelivered);
    // A jammed sheet stops half way; every read from then on fails until
    // the next set-up.
    return Finish(scanState == ScanState::Jammed ? kFeederJam : kOk);
}

}  // namespace sim
