// Cutting frames the scanner library cannot take at once into pieces.
#include "device/scan_plan.h"

#include <gtest/gtest.h>

namespace {

TEST(ScanPlan, PiecesOnlyWhereNeededJoiningOnWholeUnits) {
    struct Case {
        const char* name;
        std::uint16_t window[5];
        std::uint32_t bits;
        bool pieces, possible;
        int pixels, lines, columns;
    } cases[] = {
        {"600 dpi colour bed: one window", {600, 0, 0, 2550, 4200}, 24, false, true, 5100, 8400, 0},
        {"2400 dpi grey bed: bands", {2400, 0, 0, 2550, 4200}, 8, true, true, 20400, 33600, 1},
        {"2400 dpi bi-level bed: bands", {2400, 0, 0, 2550, 4200}, 1, true, true, 20400, 33600, 1},
        {"2400 dpi colour width: columns", {2400, 0, 0, 2550, 30}, 24, true, true, 20400, 240, 2},
        {"1290 dpi colour width: columns", {1290, 0, 0, 2550, 30}, 24, true, true, 10965, 129, 2},
        {"2399 dpi colour bed: a unit of a band too big", {2399, 0, 0, 2550, 4200}, 24, true, false, 20391, 33586, 3},
        {"frame beyond the bed: clipped", {2400, 100, 0, 3000, 4200}, 8, true, true, 19600, 33600, 1},
    };
    for (const Case& c : cases) {
        const ScanPlan plan = PlanScan(c.window, c.bits, 2550, 4200);
        EXPECT_EQ(plan.pieces, c.pieces) << c.name;
        EXPECT_EQ(plan.possible, c.possible) << c.name;
        EXPECT_EQ(plan.pixelsPerLine, c.pixels) << c.name;
        EXPECT_EQ(plan.lines, c.lines) << c.name;
        if (!c.pieces || !c.possible) continue;
        ASSERT_EQ(static_cast<int>(plan.columns.size()), c.columns) << c.name;
        // Every piece fits the library; the columns tile the line, byte for byte.
        int pixels = 0;
        for (const ScanColumn& column : plan.columns) {
            EXPECT_LE(column.pixels, kScannerSizeLimit) << c.name;
            EXPECT_LE(column.bytesPerLine, kScannerSizeLimit) << c.name;
            EXPECT_EQ(column.byteOffset, (pixels * static_cast<int>(c.bits)) / 8) << c.name;
            pixels += column.pixels;
        }
        EXPECT_EQ(pixels, plan.pixelsPerLine) << c.name;
        EXPECT_LE(plan.bandLines, kScannerSizeLimit) << c.name;
        // The bands' windows cover the frame's lines exactly.
        int lines = 0;
        for (int band = 0; lines < plan.lines; ++band) {
            std::uint16_t window[5];
            const int bandLines = PieceWindow(plan, band, 0, window);
            ASSERT_GT(bandLines, 0) << c.name;
            EXPECT_EQ(bandLines, window[4] * c.window[0] / 300) << c.name << ", band " << band;
            EXPECT_EQ(window[2] * c.window[0] % 300, 0) << c.name << ": a band starts on a whole line";
            lines += bandLines;
        }
        EXPECT_EQ(lines, plan.lines) << c.name;
    }
}

}  // namespace
