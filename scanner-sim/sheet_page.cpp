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

}  // namespace sim
