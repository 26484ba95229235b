// Drawing the built-in page one row at a time. Each feature paints the
// spans it covers in the requested row, clipped to the requested cells;
// everything else stays white paper.
#include "built_in_page.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sim {
namespace {

using namespace layout;

struct Row {
    int y;
    int x0;
    int x1;
    std::uint8_t* rgb;

    void Fill(int from, int to, std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
        from = std::max(from, x0);
        to = std::min(to, x1);
        for (int x = from; x < to; ++x) Set(x, r, g, b);
    }
    void Set(int x, std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
        std::uint8_t* cell = rgb + 3 * (x - x0);
        cell[0] = r;
        cell[1] = g;
        cell[2] = b;
    }
    void FillBlack(int from, int to) const { Fill(from, to, 0, 0, 0); }
};

// A fixed integer mix, so the text shapes are the same on every machine.
std::uint32_t Mix(std::uint32_t value) {
    value ^= value >> 16;
    value *= 0x7feb352dU;
    value ^= value >> 15;
    value *= 0x846ca68bU;
    value ^= value >> 16;
    return value;
}

void DrawCornerMarks(const Row& row) {
    const int top = kMarkInset;
    const int bottom = kBedHeight - kMarkInset - kMarkSize;
    const int left = kMarkInset;
    const int right = kBedWidth - kMarkInset - kMarkSize;
    // A different colour in each corner shows at once whether an image was
    // turned or mirrored on its way to the user.
    if (row.y >= top && row.y < top + kMarkSize) {
        row.Fill(left, left + kMarkSize, 0, 0, 0);
        row.Fill(right, right + kMarkSize, 255, 0, 0);
    }
    if (row.y >= bottom && row.y < bottom + kMarkSize) {
        row.Fill(left, left + kMarkSize, 0, 255, 0);
        row.Fill(right, right + kMarkSize, 0, 0, 255);
    }
}

void DrawColourBars(const Row& row) {
    for (int bar = 0; bar < 8; ++bar) {
        const int left = kContentLeft + bar * kBarWidth;
        row.Fill(left, left + kBarWidth, kBarColours[bar][0], kBarColours[bar][1], kBarColours[bar][2]);
    }
}

void DrawWedge(const Row& row) {
    for (int step = 0; step <= 10; ++step) {
        const int left = kContentLeft + step * kWedgeStepWidth;
        const auto level = static_cast<std::uint8_t>(WedgeLevel(step));
        row.Fill(left, left + kWedgeStepWidth, level, level, level);
    }
}

void DrawRamp(const Row& row, bool colour) {
    const int from = std::max(kContentLeft, row.x0);
    const int to = std::min(kContentRight, row.x1);
    const int span = kContentRight - kContentLeft - 1;
    for (int x = from; x < to; ++x) {
        const int v = (x - kContentLeft) * 255 / span;
        if (colour) {
            row.Set(x, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(255 - std::abs(2 * v - 255)),
                    static_cast<std::uint8_t>(255 - v));
        } else {
            row.Set(x, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v));
        }
    }
}

bool LinePatternIsBlack(int block, int x, int y) {
    const int dx = x - (kContentLeft + block * kLineBlockPitch);
    const int dy = y - kLinesTop;
    switch (block) {
    case 0: return (dx & 1) == 0;         // vertical, one cell on, one off
    case 1: return ((dx >> 1) & 1) == 0;  // vertical, two on, two off
    case 2: return (dy & 1) == 0;         // horizontal, one on, one off
    case 3: return (dy / 3) % 2 == 0;     // horizontal, three on, three off
    default: return (x + y) % 12 < 2;     // diagonal
    }
}

void DrawLinePatterns(const Row& row) {
    for (int block = 0; block < 5; ++block) {
        const int left = kContentLeft + block * kLineBlockPitch;
        const int from = std::max(left, row.x0);
        const int to = std::min(left + kLineBlockWidth, row.x1);
        for (int x = from; x < to; ++x) {
            if (LinePatternIsBlack(block, x, row.y)) row.Set(x, 0, 0, 0);
        }
    }
}

// One line of text: words of letters set from the left margin, with the
// first line of each paragraph indented and the last one short. Within
// the line, rows 0-19 hold ascenders only, 20-59 the x-height and 60-74
// descenders only; round letters get a white counter.
constexpr int kAscenderEnd = 20;
constexpr int kCounterTop = 28;
constexpr int kCounterBottom = 52;
constexpr int kXHeightEnd = 60;
constexpr int kDescenderEnd = 75;

void DrawTextLine(const Row& row, int line, int rowInLine) {
    if (rowInLine >= kDescenderEnd) return;
    const int lineInParagraph = line % 6;
    int x = kContentLeft + (lineInParagraph == 0 ? 100 : 0);
    const int right = lineInParagraph == 5 ? kContentLeft + (kContentRight - kContentLeft) * 3 / 5 : kContentRight;
    for (std::uint32_t word = 0;; ++word) {
        const std::uint32_t wordHash = Mix(static_cast<std::uint32_t>(line) * 7919U + word * 104729U + 1U);
        const int letters = 2 + static_cast<int>(wordHash % 8);
        int width = 0;
        for (int letter = 0; letter < letters; ++letter) width += 22 + static_cast<int>(Mix(wordHash + letter) % 13) + 8;
        if (x + width - 8 > right) return;
        for (int letter = 0; letter < letters; ++letter) {
            const std::uint32_t letterHash = Mix(wordHash + static_cast<std::uint32_t>(letter));
            const int letterWidth = 22 + static_cast<int>(letterHash % 13);
            const int shape = static_cast<int>((letterHash >> 8) % 10);
            const bool ascender = shape < 2;
            const bool descender = shape == 2;
            const bool round = shape >= 7;
            bool inked = rowInLine >= kAscenderEnd && rowInLine < kXHeightEnd;
            if (rowInLine < kAscenderEnd) inked = ascender;
            if (rowInLine >= kXHeightEnd) inked = descender;
            if (inked) {
                row.FillBlack(x, x + letterWidth);
                if (round && rowInLine >= kCounterTop && rowInLine < kCounterBottom)
                    row.Fill(x + 7, x + letterWidth - 7, 255, 255, 255);
            }
            x += letterWidth + 8;
        }
        x += 32;  // the space between words, on top of the letter gap
    }
}

void DrawText(const Row& row) {
    const int offset = row.y - kTextTop;
    if (offset < 0) return;
    const int line = offset / kTextLinePitch;
    if (line >= kTextLines) return;
    DrawTextLine(row, line, offset % kTextLinePitch);
}

void DrawRow(int y, int x0, int x1, std::uint8_t* rgb) {
    if (x1 <= x0) return;
    std::memset(rgb, 255, static_cast<std::size_t>(x1 - x0) * 3);
    const Row row{y, x0, x1, rgb};
    DrawCornerMarks(row);
    if (y >= kBarsTop && y < kBarsBottom) DrawColourBars(row);
    if (y >= kWedgeTop && y < kWedgeBottom) DrawWedge(row);
    if (y >= kGreyRampTop && y < kColourRampTop) DrawRamp(row, false);
    if (y >= kColourRampTop && y < kRampsBottom) DrawRamp(row, true);
    if (y >= kLinesTop && y < kLinesBottom) DrawLinePatterns(row);
    DrawText(row);
}

// The rows at which the page may change from the row above: the top, every
// edge of a feature, each row of the fine lines, and the row bands within
// each line of text (ascenders, x-height, the counters of round letters,
// descenders). Between two of them the rows are drawn alike.
const std::vector<int>& BandStarts() {
    static const std::vector<int> starts = [] {
        std::vector<int> rows = {0,
                                 kMarkInset,
                                 kMarkInset + kMarkSize,
                                 kBedHeight - kMarkInset - kMarkSize,
                                 kBedHeight - kMarkInset,
                                 kBarsTop,
                                 kBarsBottom,
                                 kWedgeTop,
                                 kWedgeBottom,
                                 kGreyRampTop,
                                 kColourRampTop,
                                 kRampsBottom};
        for (int y = kLinesTop; y <= kLinesBottom; ++y) rows.push_back(y);
        for (int line = 0; line <= kTextLines; ++line) {
            for (int rowInLine : {0, kAscenderEnd, kCounterTop, kCounterBottom, kXHeightEnd, kDescenderEnd})
                rows.push_back(kTextTop + line * kTextLinePitch + rowInLine);
        }
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        return rows;
    }();
    return starts;
}

// For each band, the first band drawn exactly like it (itself when none):
// the blank paper between features, and the fine lines, which repeat every
// twelve rows, name a few rows only. Found once by drawing each band's
// first row and comparing.
const std::vector<int>& BandOriginals() {
    static const std::vector<int> originals = [] {
        const std::vector<int>& starts = BandStarts();
        std::vector<int> result(starts.size());
        // One row of each kind drawn so far, found by a hash of its bytes.
        std::unordered_multimap<std::uint64_t, std::pair<std::vector<std::uint8_t>, int>> kinds;
        std::vector<std::uint8_t> row(static_cast<std::size_t>(kBedWidth) * 3);
        for (std::size_t band = 0; band < starts.size(); ++band) {
            DrawRow(starts[band], 0, kBedWidth, row.data());
            std::uint64_t hash = 0xcbf29ce484222325ULL;
            for (std::size_t i = 0; i + 8 <= row.size(); i += 8) {
                std::uint64_t word;
                std::memcpy(&word, &row[i], 8);
                hash = (hash ^ word) * 0x100000001b3ULL;
            }
            result[band] = starts[band];
            const auto same = kinds.equal_range(hash);
            for (auto kind = same.first; kind != same.second; ++kind) {
                if (kind->second.first == row) {
                    result[band] = kind->second.second;
                    break;
                }
            }
            if (result[band] == starts[band]) kinds.emplace(hash, std::make_pair(row, starts[band]));
        }
        return result;
    }();
    return originals;
}

}  // namespace

int BuiltInPage::RowDrawnLike(int y) const {
    if (y < 0 || y >= kBedHeight) return y;
    const std::vector<int>& starts = BandStarts();
    const auto band = std::upper_bound(starts.begin(), starts.end(), y) - starts.begin() - 1;
    return BandOriginals()[static_cast<std::size_t>(band)];
}

int BuiltInPage::RowsLike(int y) const {
    if (y < 0 || y >= kBedHeight) return 1;
    const std::vector<int>& starts = BandStarts();
    const auto next = std::upper_bound(starts.begin(), starts.end(), y);
    const int end = next == starts.end() ? kBedHeight : std::min(*next, kBedHeight);
    return end - y;
}

void BuiltInPage::ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const { DrawRow(y, x0, x1, rgb); }

}  // namespace sim
