// A sheet from the document feeder: the page the scanner would otherwise
// scan, with the sheet's number drawn large across the top margin, so that
// the sheets of a batch can be told apart (and a skipped or repeated one
// seen). The digits are seven-segment figures in solid black, centred on
// the bed; their geometry is public so that tests can read the number back.
#pragma once

#include <cstdint>
#include <string>

#include "page.h"

namespace sim {

namespace sheet_number {
constexpr int kTop = 20;           // in 1/300 inch from the bed's top edge
constexpr int kHeight = 160;       // half an inch
constexpr int kDigitWidth = 100;
constexpr int kStroke = 24;
constexpr int kGap = 40;           // between digits
constexpr int kCentre = 1275;      // the bed's middle, across

// Segment s (0 a top, 1 b upper right, 2 c lower right, 3 d bottom, 4 e
// lower left, 5 f upper left, 6 g middle) of a digit cell whose top-left
// corner is (0, 0): left, top, right, bottom.
struct Box {
    int left, top, right, bottom;
};
constexpr Box kSegments[7] = {
    {0, 0, kDigitWidth, kStroke},
    {kDigitWidth - kStroke, 0, kDigitWidth, kHeight / 2 + kStroke / 2},
    {kDigitWidth - kStroke, kHeight / 2 - kStroke / 2, kDigitWidth, kHeight},
    {0, kHeight - kStroke, kDigitWidth, kHeight},
    {0, kHeight / 2 - kStroke / 2, kStroke, kHeight},
    {0, 0, kStroke, kHeight / 2 + kStroke / 2},
    {0, kHeight / 2 - kStroke / 2, kDigitWidth, kHeight / 2 + kStroke / 2},
};
// Bit s set: segment s is lit in that digit.
constexpr std::uint8_t kDigitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// The left edge of digit `index` of a number written with `digits` digits.
constexpr int DigitLeft(int index, int digits) {
    return kCentre - (digits * kDigitWidth + (digits - 1) * kGap) / 2 + index * (kDigitWidth + kGap);
}
}  // namespace sheet_number

class SheetPage final : public Page {
public:
    SheetPage(const Page& page, int number);
    void ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const override;
    // The page's bands and repeated rows, cut where the figures' segments
    // begin and end; a row across the figures repeats only a row of the
    // same segment band.
    int RowsLike(int y) const override;
    int RowDrawnLike(int y) const override;

private:
    const Page& page;
    std::string digits;
};

}  // namespace sim
