// ConvertRows on a whole bed at 300 dpi (2550 x 4200 pixels of three bytes)
// to 8 and to 1 bit per pixel, beside a plain copy of the same source bytes
// as the floor any conversion that reads every byte has to stand on.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/dib_format.h"
#include "imaging/pixel_conversion.h"

namespace {

constexpr int kWidth = 2550;
constexpr int kLines = 4200;

const std::vector<std::uint8_t>& SourceRows() {
    static const std::vector<std::uint8_t> rows = [] {
        std::vector<std::uint8_t> r(std::size_t(3) * kWidth * kLines);
        std::uint32_t seed = 12345;
        for (auto& byte : r) {
            seed = seed * 1103515245u + 12345u;
            byte = static_cast<std::uint8_t>(seed >> 16);
        }
        return r;
    }();
    return rows;
}

void ConvertBench(benchmark::State& state, std::uint32_t bits) {
    const auto& source = SourceRows();
    std::vector<std::uint8_t> destination(std::size_t(RowStride(DibRowBytes(kWidth, bits))) * kLines);
    for (auto _ : state) {
        ConvertRows(bits, destination.data(), source.data(), kWidth, kLines);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * source.size());
}

void BM_ConvertRows24To8(benchmark::State& state) { ConvertBench(state, 8); }
void BM_ConvertRows24To1(benchmark::State& state) { ConvertBench(state, 1); }

void BM_MemcpySourceBytes(benchmark::State& state) {
    const auto& source = SourceRows();
    std::vector<std::uint8_t> destination(source.size());
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * source.size());
}

}  // namespace

BENCHMARK(BM_ConvertRows24To8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertRows24To1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpySourceBytes)->Unit(benchmark::kMillisecond);
