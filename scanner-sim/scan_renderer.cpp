// Turning page cells into scan lines. Pixel i of a scan at rate r (dots
// per 100 inches) covers cells i * 30000 / r up to (i + 1) * 30000 / r of
// the window; the same rule down the page picks the rows of a line.
#include "scan_renderer.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

constexpr ColourMatrix kIdentity = {64, 0, 0, 0, 64, 0, 0, 0, 64};

std::uint8_t Luminance(const std::uint8_t* rgb) {
    return static_cast<std::uint8_t>((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2] + 128) >> 8);
}

std::uint8_t ApplyRow(const std::int8_t* row, const std::uint8_t* rgb) {
    const int sum = row[0] * rgb[0] + row[1] * rgb[1] + row[2] * rgb[2];
    if (sum <= 0) return 0;
    return static_cast<std::uint8_t>(std::min(255, (sum + 32) >> 6));
}

}  // namespace

ScanRenderer::ScanRenderer(const Page& page, const ScanLayout& layout, DataType type, const ColourMatrix& matrix,
                           const LevelMap& levels)
    : page(page),
      layout(layout),
      type(type),
      matrix(matrix),
      plainMatrix(matrix == kIdentity),
      levels(levels),
      averaging(layout.rate < 30000),
      cellOf(static_cast<std::size_t>(layout.pixelsPerLine) + 1),
      cells(static_cast<std::size_t>(layout.window.width) * 3),
      sums(averaging ? static_cast<std::size_t>(layout.window.width) * 3 : 0),
      samples(static_cast<std::size_t>(layout.pixelsPerLine) * 3) {
    for (int i = 0; i <= layout.pixelsPerLine; ++i) {
        const std::int64_t cell = averaging ? i * std::int64_t{30000} / layout.rate
                                            : (2 * std::int64_t{i} + 1) * 15000 / layout.rate;
        cellOf[i] = static_cast<int>(std::min<std::int64_t>(cell, layout.window.width));
    }
}

void ScanRenderer::SamplePage(int line) {
    const int left = layout.window.left;
    const int width = layout.window.width;
    const int pixels = layout.pixelsPerLine;
    if (!averaging) {
        const int row = layout.window.top + static_cast<int>((2 * std::int64_t{line} + 1) * 15000 / layout.rate);
        if (row != cachedRow) {
            page.ReadRow(row, left, left + width, cells.data());
            cachedRow = row;
        }
        for (int i = 0; i < pixels; ++i) std::memcpy(&samples[3 * i], &cells[3 * cellOf[i]], 3);
        return;
    }
    const int firstRow = layout.window.top + static_cast<int>(line * std::int64_t{30000} / layout.rate);
    const int endRow = layout.window.top + static_cast<int>((line + 1) * std::int64_t{30000} / layout.rate);
    std::fill(sums.begin(), sums.end(), 0U);
    for (int row = firstRow; row < endRow; ++row) {
        page.ReadRow(row, left, left + width, cells.data());
        for (std::size_t k = 0; k < sums.size(); ++k) sums[k] += cells[k];
    }
    const std::uint32_t rows = static_cast<std::uint32_t>(endRow - firstRow);
    for (int i = 0; i < pixels; ++i) {
        const int from = cellOf[i];
        const int to = cellOf[i + 1];
        const std::uint32_t count = rows * static_cast<std::uint32_t>(to - from);
        for (int channel = 0; channel < 3; ++channel) {
            std::uint32_t total = 0;
            for (int cell = from; cell < to; ++cell) total += sums[3 * cell + channel];
            samples[3 * i + channel] = static_cast<std::uint8_t>((total + count / 2) / count);
        }
    }
}

void ScanRenderer::ApplyColour(std::uint8_t* out) const {
    const int pixels = layout.pixelsPerLine;
    for (int i = 0; i < pixels; ++i) {
        const std::uint8_t* in = &samples[3 * i];
        std::uint8_t* pixel = out + 3 * i;
        if (plainMatrix) {
            pixel[0] = levels[in[0]];
            pixel[1] = levels[in[1]];
            pixel[2] = levels[in[2]];
        } else {
            pixel[0] = levels[ApplyRow(&matrix[0], in)];
            pixel[1] = levels[ApplyRow(&matrix[3], in)];
            pixel[2] = levels[ApplyRow(&matrix[6], in)];
        }
    }
}

void ScanRenderer::ApplyGrey(std::uint8_t* out) const {
    for (int i = 0; i < layout.pixelsPerLine; ++i) out[i] = levels[Luminance(&samples[3 * i])];
}

void ScanRenderer::ApplyBiLevel(std::uint8_t* out) const {
    std::memset(out, 0, static_cast<std::size_t>(layout.bytesPerLine));
    for (int i = 0; i < layout.pixelsPerLine; ++i) {
        // A set bit is white: anything at least half way up the scale.
        if (levels[Luminance(&samples[3 * i])] >= 128) out[i >> 3] |= static_cast<std::uint8_t>(0x80 >> (i & 7));
    }
}

void ScanRenderer::RenderLine(int line, std::uint8_t* out) {
    if (layout.pixelsPerLine <= 0) return;
    SamplePage(line);
    switch (type) {
    case DataType::Colour: ApplyColour(out); break;
    case DataType::BiLevel: ApplyBiLevel(out); break;
    default: ApplyGrey(out); break;
    }
}

}  // namespace sim
