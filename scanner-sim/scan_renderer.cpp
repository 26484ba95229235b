// Turning page cells into scan lines. Pixel i of a scan at rate r (dots
// per 100 inches) covers cells i * 30000 / r up to (i + 1) * 30000 / r of
// the window; the same rule down the page picks the rows of a line.
//
// When pixels are cells or smaller, each pixel takes one cell: the cells of
// the row are levelled once and then spread over the pixels. When pixels
// are larger, the cells under a pixel are summed down the line's rows (a
// band of k equal rows counts k times one row) and rounded to their mean.
// The mean of equal rows is the mean of one of them, whatever their number:
// with S the sum of one row's c cells and n rows, (n S + n c / 2) / (n c)
// rounds down to the same value as (S + c / 2) / c. That is why a line over
// a band repeats the line before it even when the two cover different
// numbers of rows.
#include "scan_renderer.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

std::uint8_t Luminance(const std::uint8_t* rgb) {
    return static_cast<std::uint8_t>((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2] + 128) >> 8);
}

std::uint8_t ApplyRow(const std::int8_t* row, const std::uint8_t* rgb) {
    const int sum = row[0] * rgb[0] + row[1] * rgb[1] + row[2] * rgb[2];
    if (sum <= 0) return 0;
    return static_cast<std::uint8_t>(std::min(255, (sum + 32) >> 6));
}

// True when every row of the matrix is 64 (one) in one place and 0 in the
// others: applying it then picks one input channel per output channel,
// since (64 v + 32) >> 6 is v.
bool IsPermutation(const ColourMatrix& matrix, std::array<int, 3>& channelOf) {
    for (int k = 0; k < 3; ++k) {
        int ones = 0;
        for (int j = 0; j < 3; ++j) {
            const int c = matrix[static_cast<std::size_t>(3 * k + j)];
            if (c == 64) {
                ++ones;
                channelOf[static_cast<std::size_t>(k)] = j;
            } else if (c != 0) {
                return false;
            }
        }
        if (ones != 1) return false;
    }
    return true;
}

}  // namespace

ScanRenderer::ScanRenderer(const Page& page, const ScanLayout& layout, DataType type, const ColourMatrix& matrix,
                           const LevelMap& levels)
    : page(page),
      layout(layout),
      type(type),
      matrix(matrix),
      levels(levels),
      averaging(layout.rate < 30000),
      cellPerPixel(layout.rate == 30000),
      cellOf(static_cast<std::size_t>(std::max(layout.pixelsPerLine, 0)) + 1),
      cells(static_cast<std::size_t>(layout.window.width) * 3),
      sums(averaging ? static_cast<std::size_t>(std::max(layout.pixelsPerLine, 0)) * 3 : 0),
      samples(averaging ? static_cast<std::size_t>(std::max(layout.pixelsPerLine, 0)) * 3 : 0) {
    permutation = IsPermutation(matrix, channelOf);
    for (DrawnLine& line : drawn) line.pixels.resize(static_cast<std::size_t>(std::max(layout.bytesPerLine, 0)));
    for (int i = 0; i <= layout.pixelsPerLine; ++i) {
        const std::int64_t cell = averaging ? i * std::int64_t{30000} / layout.rate
                                            : (2 * std::int64_t{i} + 1) * 15000 / layout.rate;
        cellOf[static_cast<std::size_t>(i)] = static_cast<int>(std::min<std::int64_t>(cell, layout.window.width));
    }
    const int levelledCount = averaging ? layout.pixelsPerLine : layout.window.width;
    levelled.resize(static_cast<std::size_t>(std::max(levelledCount, 0)) * (type == DataType::Colour ? 3 : 1));
    if (type == DataType::BiLevel && averaging) {
        pixelIndex.resize(static_cast<std::size_t>(std::max(layout.pixelsPerLine, 0)));
        for (std::size_t i = 0; i < pixelIndex.size(); ++i) pixelIndex[i] = static_cast<int>(i);
    }
}

ScanRenderer::Rows ScanRenderer::RowsOf(int line) const {
    const int top = layout.window.top;
    if (!averaging) {
        const int row = top + static_cast<int>((2 * std::int64_t{line} + 1) * 15000 / layout.rate);
        return {row, row + 1};
    }
    return {top + static_cast<int>(line * std::int64_t{30000} / layout.rate),
            top + static_cast<int>((line + 1) * std::int64_t{30000} / layout.rate)};
}

void ScanRenderer::Level(const std::uint8_t* rgb, std::uint8_t* to, int count) const {
    switch (type) {
    case DataType::Colour:
        if (permutation) {
            const int r = channelOf[0], g = channelOf[1], b = channelOf[2];
            for (int i = 0; i < count; ++i, rgb += 3, to += 3) {
                to[0] = levels[rgb[r]];
                to[1] = levels[rgb[g]];
                to[2] = levels[rgb[b]];
            }
        } else {
            for (int i = 0; i < count; ++i, rgb += 3, to += 3) {
                to[0] = levels[ApplyRow(&matrix[0], rgb)];
                to[1] = levels[ApplyRow(&matrix[3], rgb)];
                to[2] = levels[ApplyRow(&matrix[6], rgb)];
            }
        }
        break;
    case DataType::BiLevel:
        // White: anything at least half way up the scale.
        for (int i = 0; i < count; ++i, rgb += 3) to[i] = levels[Luminance(rgb)] >= 128 ? 1 : 0;
        break;
    default:
        for (int i = 0; i < count; ++i, rgb += 3) to[i] = levels[Luminance(rgb)];
        break;
    }
}

// Bit i of the line is white[index[i]], most significant bit first.
void ScanRenderer::PackBits(const std::uint8_t* white, const int* index, std::uint8_t* to) const {
    std::memset(to, 0, static_cast<std::size_t>(layout.bytesPerLine));
    for (int i = 0; i < layout.pixelsPerLine; ++i) {
        if (white[index[i]] != 0) to[i >> 3] |= static_cast<std::uint8_t>(0x80 >> (i & 7));
    }
}

void ScanRenderer::DrawSampled(int row, std::uint8_t* to) {
    const int left = layout.window.left;
    const int width = layout.window.width;
    const int pixels = layout.pixelsPerLine;
    page.ReadRow(row, left, left + width, cells.data());
    if (type == DataType::BiLevel) {
        Level(cells.data(), levelled.data(), width);
        PackBits(levelled.data(), cellOf.data(), to);
        return;
    }
    if (cellPerPixel) {
        Level(cells.data(), to, pixels);
        return;
    }
    Level(cells.data(), levelled.data(), width);
    if (type == DataType::Colour) {
        for (int i = 0; i < pixels; ++i, to += 3) std::memcpy(to, &levelled[3 * static_cast<std::size_t>(cellOf[i])], 3);
    } else {
        for (int i = 0; i < pixels; ++i) to[i] = levelled[static_cast<std::size_t>(cellOf[i])];
    }
}

// `bands` holds, per band of the line's rows, a row drawn like the band and
// the band's height.
void ScanRenderer::DrawAveraged(const std::vector<int>& bands, std::uint8_t* to) {
    const int left = layout.window.left;
    const int width = layout.window.width;
    const int pixels = layout.pixelsPerLine;
    // Per pixel and channel, the sum of its cells down the line's rows.
    std::fill(sums.begin(), sums.end(), 0U);
    std::uint32_t rowCount = 0;
    for (std::size_t band = 0; band + 1 < bands.size(); band += 2) {
        page.ReadRow(bands[band], left, left + width, cells.data());
        const auto weight = static_cast<std::uint32_t>(bands[band + 1]);
        const std::uint8_t* cell = cells.data();
        std::uint32_t* sum = sums.data();
        for (int i = 0; i < pixels; ++i, sum += 3) {
            std::uint32_t r = 0, g = 0, b = 0;
            for (int k = cellOf[static_cast<std::size_t>(i) + 1] - cellOf[static_cast<std::size_t>(i)]; k > 0;
                 --k, cell += 3) {
                r += cell[0];
                g += cell[1];
                b += cell[2];
            }
            sum[0] += weight * r;
            sum[1] += weight * g;
            sum[2] += weight * b;
        }
        rowCount += weight;
    }
    for (int i = 0; i < pixels; ++i) {
        const std::uint32_t count =
            rowCount * static_cast<std::uint32_t>(cellOf[static_cast<std::size_t>(i) + 1] - cellOf[static_cast<std::size_t>(i)]);
        for (int channel = 0; channel < 3; ++channel) {
            const std::size_t at = static_cast<std::size_t>(3 * i + channel);
            samples[at] = static_cast<std::uint8_t>((sums[at] + count / 2) / count);
        }
    }
    if (type == DataType::BiLevel) {
        Level(samples.data(), levelled.data(), pixels);
        PackBits(levelled.data(), pixelIndex.data(), to);
    } else {
        Level(samples.data(), to, pixels);
    }
}

const std::uint8_t* ScanRenderer::RenderLine(int line) {
    if (layout.pixelsPerLine <= 0) return drawn[0].pixels.data();
    const Rows rows = RowsOf(line);
    if (current != nullptr && rows.first >= likeFirst && rows.end <= likeEnd) return current;

    bands.clear();
    for (int row = rows.first; row < rows.end;) {
        const int equal = std::min(std::max(page.RowsLike(row), 1), rows.end - row);
        bands.push_back(page.RowDrawnLike(row));
        bands.push_back(equal);
        row += equal;
    }
    DrawnLine* same = nullptr;
    DrawnLine* oldest = &drawn[0];
    for (DrawnLine& candidate : drawn) {
        if (candidate.lastUse != 0 && candidate.bands == bands) same = &candidate;
        if (candidate.lastUse < oldest->lastUse) oldest = &candidate;
    }
    if (same == nullptr) {
        same = oldest;
        if (averaging) {
            DrawAveraged(bands, same->pixels.data());
        } else {
            DrawSampled(bands[0], same->pixels.data());
        }
        same->bands = bands;
    }
    same->lastUse = ++useClock;
    current = same->pixels.data();

    const int equal = std::max(page.RowsLike(rows.first), 1);
    likeFirst = rows.first;
    likeEnd = rows.end <= rows.first + equal ? rows.first + equal : -1;
    return current;
}

}  // namespace sim
