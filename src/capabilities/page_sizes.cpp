// Frames of the offered page sizes. Metric sizes are converted from their
// millimetres to the nearest 1/300 inch.
#include "capabilities/page_sizes.h"

namespace {

struct PageSize {
    TW_UINT16 code;
    std::int32_t width;
    std::int32_t height;
};

constexpr std::int32_t Millimetres(int mm) { return (mm * 3000 + 127) / 254; }
constexpr std::int32_t Inches(double inches) { return static_cast<std::int32_t>(inches * 300 + 0.5); }

constexpr PageSize kPageSizes[] = {
    {TWSS_A4, Millimetres(210), Millimetres(297)},
    {TWSS_JISB5, Millimetres(182), Millimetres(257)},
    {TWSS_USLETTER, Inches(8.5), Inches(11)},
    {TWSS_USLEGAL, Inches(8.5), Inches(14)},
    {TWSS_A5, Millimetres(148), Millimetres(210)},
    {TWSS_ISOB6, Millimetres(125), Millimetres(176)},
    {TWSS_USEXECUTIVE, Inches(7.25), Inches(10.5)},
    {TWSS_A6, Millimetres(105), Millimetres(148)},
    {TWSS_C5, Millimetres(162), Millimetres(229)},
    {TWSS_C6, Millimetres(114), Millimetres(162)},
};

}  // namespace

bool FrameOfPageSize(TW_UINT16 size, PageFrame* frame) {
    for (const PageSize& page : kPageSizes) {
        if (page.code != size) continue;
        *frame = PageFrame{page.width, page.height};
        return true;
    }
    return false;
}
