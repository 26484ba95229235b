// The page the simulated scanner finds on its bed when no picture is
// given: a white sheet with corner marks, colour bars, a grey step wedge,
// smooth grey and colour gradients, fine line patterns and blocks of
// text-like black shapes. Everything is computed from the position, so
// the page needs no memory and every scan of it is repeatable.
#pragma once

#include "page.h"

namespace sim {

class BuiltInPage final : public Page {
public:
    void ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const override;
    int RowsLike(int y) const override;
    int RowDrawnLike(int y) const override;
};

// Where the page's features lie, in 1/300 inch, for tests that want to
// look at a known colour. Every feature spans contentLeft to contentRight.
namespace layout {
constexpr int kContentLeft = 175;
constexpr int kContentRight = 2375;

constexpr int kMarkInset = 40;  // corner marks: 80-cell squares this far from the edges
constexpr int kMarkSize = 80;

constexpr int kBarsTop = 200;  // eight colour bars side by side
constexpr int kBarsBottom = 500;
constexpr int kBarWidth = 275;

constexpr int kWedgeTop = 575;  // eleven grey steps, black to white
constexpr int kWedgeBottom = 875;
constexpr int kWedgeStepWidth = 200;

constexpr int kGreyRampTop = 950;  // black to white, left to right
constexpr int kColourRampTop = 1150;
constexpr int kRampsBottom = 1350;

constexpr int kLinesTop = 1450;  // five blocks of fine lines
constexpr int kLinesBottom = 2050;
constexpr int kLineBlockWidth = 400;
constexpr int kLineBlockPitch = 450;

constexpr int kTextTop = 2150;  // eighteen lines of text-like shapes
constexpr int kTextLinePitch = 100;
constexpr int kTextLines = 18;
}  // namespace layout

// The colours of the eight bars, left to right.
constexpr std::uint8_t kBarColours[8][3] = {
    {191, 191, 191}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
    {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0},
};

// The grey level of wedge step k (0 to 10).
constexpr int WedgeLevel(int step) { return (step * 255 + 5) / 10; }

}  // namespace sim
