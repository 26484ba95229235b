// Drawing the sheet number over the page, one row at a time.
#include "sheet_page.h"

#include <algorithm>
#include <cstring>

namespace sim {

SheetPage::SheetPage(const Page& page, int number) : page(page), digits(std::to_string(number)) {}

void SheetPage::ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const {
    page.ReadRow(y, x0, x1, rgb);
    using namespace sheet_number;
    const int row = y - kTop;
    if (row < 0 || row >= kHeight) return;
    const int count = static_cast<int>(digits.size());
    for (int i = 0; i < count; ++i) {
        const int left = DigitLeft(i, count);
        const std::uint8_t lit = kDigitSegments[digits[static_cast<std::size_t>(i)] - '0'];
        for (int s = 0; s < 7; ++s) {
            const Box& box = kSegments[s];
            if ((lit & (1 << s)) == 0 || row < box.top || row >= box.bottom) continue;
            const int from = std::max(x0, left + box.left);
            const int to = std::min(x1, left + box.right);
            if (from < to) std::memset(rgb + 3 * (from - x0), 0, static_cast<std::size_t>(3 * (to - from)));
        }
    }
}

namespace {

using namespace sheet_number;

// The rows (from the figures' top) at which some segment begins or ends.
constexpr int kSegmentEdges[] = {0, kStroke, kHeight / 2 - kStroke / 2, kHeight / 2 + kStroke / 2, kHeight - kStroke,
                                 kHeight};

// The first row of the segment band that bed row y (inside the figures)
// lies in, and the first row after it.
int BandTop(int y) {
    int top = kTop;
    for (int edge : kSegmentEdges) {
        if (kTop + edge <= y) top = kTop + edge;
    }
    return top;
}
int BandEnd(int y) {
    for (int edge : kSegmentEdges) {
        if (kTop + edge > y) return kTop + edge;
    }
    return kTop + kHeight;
}

bool InFigures(int y) { return y >= kTop && y < kTop + kHeight; }

}  // namespace

int SheetPage::RowsLike(int y) const {
    const int like = page.RowsLike(y);
    if (y < kTop) return std::min(like, kTop - y);
    if (InFigures(y)) return std::min(like, BandEnd(y) - y);
    return like;
}

int SheetPage::RowDrawnLike(int y) const {
    if (!InFigures(y)) {
        // Rows outside the figures are the page's, and so are its rows
        // outside the figures.
        const int original = page.RowDrawnLike(y);
        return InFigures(original) ? y : original;
    }
    // Across the figures: the band's first row, when the page's rows agree
    // from there to y.
    const int top = BandTop(y);
    return top + page.RowsLike(top) > y ? top : y;
}

}  // namespace sim
