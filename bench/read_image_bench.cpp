// ReadImageToDIB of a letter page in colour at 600 dpi from the simulated
// scanner, into a bottom-up DIB, beside the simulator delivering the same
// bytes in one read into one buffer: the difference is what reading
// through the 64000-byte block and placing the rows costs.
#include <benchmark/benchmark.h>

#if __has_include("simulated_library.h")
#include <cstdint>
#include <vector>

#include "device/scanner_device.h"
#include "imaging/dib_format.h"
#include "platform/profile.h"
#include "simulated_library.h"

namespace {

// 600 dpi across the whole width and a letter's height (8.5 x 11 inches).
constexpr std::uint16_t kLetterWindow[5] = {600, 0, 0, 2550, 3300};

// A device set up for the page, reading not yet begun.
void SetUpPage(ScannerDevice& device) {
    device.SetWindowHandle(reinterpret_cast<void*>(0x100));
    device.SetupFinalScan(600, 100, 24, kLetterWindow, 0);
}

struct Page {
    int bytesPerLine;
    int lines;
};

Page PageGeometry() {
    ResetSimulator();
    ScannerDevice device;
    SetUpPage(device);
    return Page{device.GetBytesPerLine(), device.GetLineCount()};
}

void Prepare() {
    platform::SetProfileFolder("/tmp");
    SetScannerLibraryForTesting(&SimulatedScannerLibrary());
}

void BM_ReadImageToDIBLetter600(benchmark::State& state) {
    Prepare();
    const Page page = PageGeometry();
    std::vector<std::uint8_t> dib(std::size_t(RowStride(page.bytesPerLine)) * page.lines);
    ScannerDevice device;
    std::uint32_t placed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SetUpPage(device);
        state.ResumeTiming();
        placed = device.ReadImageToDIB(page.bytesPerLine, page.lines, dib.data(), dib.size(), true);
        benchmark::DoNotOptimize(dib.data());
    }
    if (placed != dib.size()) state.SkipWithError("the page was not read whole");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * page.bytesPerLine * page.lines);
    state.counters["bytesPerLine"] = page.bytesPerLine;
    state.counters["lines"] = page.lines;
}

void BM_SimulatorRawReadLetter600(benchmark::State& state) {
    Prepare();
    const Page page = PageGeometry();
    const std::int32_t total = page.bytesPerLine * page.lines;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(total));
    ScannerDevice device;
    std::int32_t got = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SetUpPage(device);
        state.ResumeTiming();
        SimulatedScannerLibrary().ReadScanData(2, buffer.data(), total, &got);
        benchmark::DoNotOptimize(buffer.data());
    }
    if (got != total) state.SkipWithError("the page was not read whole");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * total);
}

// The simulator alone reading a colour letter page at a resolution, RGB or
// (with red and blue exchanged, as before a DIB) BGR: its cost per
// megapixel should not depend on the resolution.
void BM_SimulatorRawReadLetter(benchmark::State& state) {
    Prepare();
    const auto dpi = static_cast<std::uint16_t>(state.range(0));
    const bool blueFirst = state.range(1) != 0;
    const std::uint16_t window[5] = {dpi, 0, 0, 2550, 3300};
    ResetSimulator();
    ScannerDevice device;
    device.SetWindowHandle(reinterpret_cast<void*>(0x100));
    device.SetupFinalScan(dpi, 100, 24, window, 0);
    if (blueFirst) device.LoadColourMatrix(false);
    const std::int32_t total = device.GetBytesPerLine() * device.GetLineCount();
    const std::int64_t pixels = std::int64_t{device.GetPixelsPerLine()} * device.GetLineCount();
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(total));
    std::int32_t got = 0;
    for (auto _ : state) {
        SimulatedScannerLibrary().ReadScanData(2, buffer.data(), total, &got);
        benchmark::DoNotOptimize(buffer.data());
    }
    if (got != total) state.SkipWithError("the page was not read whole");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * total);
    state.counters["ns_per_pixel"] =
        benchmark::Counter(static_cast<double>(pixels) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_SimulatorRawReadLetter)
    ->ArgsProduct({{75, 150, 300, 600, 1200}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadImageToDIBLetter600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimulatorRawReadLetter600)->Unit(benchmark::kMillisecond);
#endif
