// What the tone controls and the turn cost the source on a 600 dpi colour
// letter page (5100 x 6600 pixels, 3 bytes each).
//
// Tone: the controls go into the tone map the scanner is sent, so the
// source's own work per page is building that map (and the preview's
// levels) and reading the page the scanner delivers; the same page with
// every control at its default is the baseline. Both run over the
// simulated scanner, whose pass applies whatever map it holds.
//
// Turn: TurnImage by 90 degrees (the tiled transpose) and 180 beside one
// plain copy of the page's bytes, the least any reader of the page costs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/turn_image.h"

namespace {

constexpr std::uint32_t kWidth = 5100;
constexpr std::uint32_t kLines = 6600;

std::vector<std::uint8_t> PatternPage(std::size_t bytes) {
    std::vector<std::uint8_t> page(bytes);
    std::uint32_t seed = 12345;
    for (auto& byte : page) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return page;
}

void TurnBench(benchmark::State& state, std::uint32_t bits, int quarters) {
    const std::size_t sourceStride = PackedRowBytes(kWidth, bits);
    const std::vector<std::uint8_t> source = PatternPage(sourceStride * kLines);
    std::uint32_t width = 0, lines = 0;
    TurnedSize(kWidth, kLines, quarters, &width, &lines);
    const std::size_t targetStride = PackedRowBytes(width, bits);
    std::vector<std::uint8_t> target(targetStride * lines);
    for (auto _ : state) {
        TurnImage(source.data(), static_cast<std::ptrdiff_t>(sourceStride), kWidth, kLines, bits, quarters,
                  target.data(), static_cast<std::ptrdiff_t>(targetStride));
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(source.size()));
}

void BM_TurnLetter600Colour90(benchmark::State& state) { TurnBench(state, 24, 1); }
void BM_TurnLetter600Colour180(benchmark::State& state) { TurnBench(state, 24, 2); }
void BM_TurnLetter600Grey90(benchmark::State& state) { TurnBench(state, 8, 1); }
void BM_TurnLetter600BlackWhite90(benchmark::State& state) { TurnBench(state, 1, 1); }

void BM_MemcpyLetter600Colour(benchmark::State& state) {
    const std::vector<std::uint8_t> source = PatternPage(std::size_t{3} * kWidth * kLines);
    std::vector<std::uint8_t> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(source.size()));
}

}  // namespace

BENCHMARK(BM_MemcpyLetter600Colour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurnLetter600Colour90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurnLetter600Colour180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurnLetter600Grey90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurnLetter600BlackWhite90)->Unit(benchmark::kMillisecond);

#if __has_include("simulated_library.h")
#include "device/scanner_device.h"
#include "imaging/dib_format.h"
#include "imaging/tone_map.h"
#include "platform/profile.h"
#include "simulated_library.h"

namespace {

// 600 dpi across the whole width and a letter's height (8.5 x 11 inches).
constexpr std::uint16_t kLetterWindow[5] = {600, 0, 0, 2550, 3300};

// Arg 0: every control at its default; 1: brightness 300 and contrast 200.
// Each page: the controls handed over (the preview's levels follow), the
// final scan set up (its tone map built and sent) and the page read whole
// into a DIB's rows.
void BM_ToneLetter600Colour(benchmark::State& state) {
    platform::SetProfileFolder("/tmp");
    SetScannerLibraryForTesting(&SimulatedScannerLibrary());
    ResetSimulator();
    ToneControls controls;
    if (state.range(0) != 0) {
        controls.brightness = 300;
        controls.contrast = 200;
    }
    ScannerDevice device;
    device.SetWindowHandle(reinterpret_cast<void*>(0x100));
    device.SetupFinalScan(600, 100, 24, kLetterWindow, 0);
    const int bytesPerLine = device.GetBytesPerLine();
    const int lines = device.GetLineCount();
    std::vector<std::uint8_t> rows(std::size_t(RowStride(static_cast<std::uint32_t>(bytesPerLine))) * lines);
    std::uint32_t placed = 0;
    for (auto _ : state) {
        device.SetToneControls(controls);
        device.SetupFinalScan(600, 100, 24, kLetterWindow, 0);
        placed = device.ReadImageToDIB(bytesPerLine, lines, rows.data(), rows.size(), false);
        benchmark::DoNotOptimize(rows.data());
    }
    if (placed != rows.size()) state.SkipWithError("the page was not read whole");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytesPerLine * lines);
    SetScannerLibraryForTesting(nullptr);
}

// The part of it that is the source's alone: building the map.
void BM_ToneMapBuild(benchmark::State& state) {
    ToneControls controls;
    if (state.range(0) != 0) {
        controls.brightness = 300;
        controls.contrast = 200;
    }
    std::uint8_t table[256];
    for (auto _ : state) {
        BuildScannerToneMap(ToneCalibration{}, controls, table);
        benchmark::DoNotOptimize(table);
    }
}

}  // namespace

BENCHMARK(BM_ToneLetter600Colour)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToneMapBuild)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
#endif
