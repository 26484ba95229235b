// What the dialog's setting controls offer for the bounds an application
// left: resolutions, slider stops, quarter turns and page size entries.
#include "ui/setup_choices.h"

#include <gtest/gtest.h>

#include "twain/twain.h"

namespace {

NumberSetting Bounds(int minimum, int maximum, int step, int current) {
    NumberSetting setting;
    setting.present = true;
    setting.minimum = minimum;
    setting.maximum = maximum;
    setting.step = step;
    setting.current = current;
    return setting;
}

using Values = std::vector<int>;

TEST(SetupChoices, ResolutionsAreTheCommonOnesBothAxesAllow) {
    const NumberSetting full = Bounds(12, 2400, 1, 150);
    const struct {
        NumberSetting x, y;
        Values offered;
    } cases[] = {
        {full, full, {75, 100, 150, 200, 300, 600, 1200, 2400}},
        {Bounds(100, 600, 1, 150), full, {100, 150, 200, 300, 600}},
        {Bounds(75, 2400, 75, 150), full, {75, 150, 300, 600, 1200, 2400}},
        {full, Bounds(12, 300, 1, 150), {75, 100, 150, 200, 300}},
        // A resolution the application set that no common one matches is offered too.
        {Bounds(12, 2400, 1, 250), Bounds(12, 600, 1, 250), {75, 100, 150, 200, 250, 300, 600}},
        {Bounds(300, 300, 1, 300), full, {300}},
        {Bounds(80, 90, 1, 85), full, {85}},
        {NumberSetting{}, full, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolutionChoices(c.x, c.y), c.offered)
            << "x " << c.x.minimum << ".." << c.x.maximum << " step " << c.x.step << " current " << c.x.current
            << ", y " << c.y.minimum << ".." << c.y.maximum;
    }
}

TEST(SetupChoices, SlidersStopOnlyOnAllowedValues) {
    const struct {
        NumberSetting bounds;
        int position, stop;
    } cases[] = {
        {Bounds(-1000, 1000, 1, 0), 37, 37},
        {Bounds(-1000, 1000, 1, 0), 5000, 1000},
        {Bounds(-1000, 1000, 1, 0), -5000, -1000},
        {Bounds(-1000, 1000, 250, 0), 130, 250},
        {Bounds(-1000, 1000, 250, 0), 120, 0},
        {Bounds(-1000, 1000, 250, 0), 125, 250},
        // The last step would pass the upper bound: the stop below it.
        {Bounds(-100, 100, 30, -100), 100, 80},
        {Bounds(-200, 200, 0, 0), 13, 13},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NearestAllowed(c.bounds, c.position), c.stop)
            << c.bounds.minimum << ".." << c.bounds.maximum << " step " << c.bounds.step << " at " << c.position;
        EXPECT_TRUE(SettingAllows(c.bounds, c.stop));
    }
}

TEST(SetupChoices, TurnsAreThoseTheRotationAllowsOnTopOfTheOrientation) {
    const struct {
        NumberSetting rotation;
        int orientation;
        Values offered;
        int shown;
    } cases[] = {
        {Bounds(0, 270, 90, 0), 0, {0, 90, 180, 270}, 0},
        {Bounds(0, 180, 180, 180), 0, {0, 180}, 180},
        {Bounds(90, 90, 90, 90), 0, {90}, 90},
        // Landscape (three quarters) turns the page by itself: a rotation of
        // 0 or 90 then gives a page turned 270 or 0.
        {Bounds(0, 90, 90, 0), 3, {0, 270}, 270},
        {Bounds(0, 270, 90, 90), 1, {0, 90, 180, 270}, 180},
        {NumberSetting{}, 0, {}, 0},
    };
    for (const auto& c : cases) {
        const std::string what = std::to_string(c.rotation.minimum) + ".." + std::to_string(c.rotation.maximum) +
                                 " step " + std::to_string(c.rotation.step) + ", orientation " +
                                 std::to_string(c.orientation);
        EXPECT_EQ(RotationChoices(c.rotation, c.orientation), c.offered) << what;
        if (c.rotation.present) EXPECT_EQ(ShownTurn(c.rotation, c.orientation), c.shown) << what;
    }
    EXPECT_EQ(RotationText(270), "270\xB0");
}

TEST(SetupChoices, PageEntriesAndTheOneShowingTheRegion) {
    const Rect32 bed{0, 0, 2550, 4200};
    const Rect32 a4{0, 0, 2480, 3508};
    const Rect32 letter{0, 0, 2550, 3300};
    ShownSettings settings;
    settings.pageSizes = {{TWSS_A4, a4}, {TWSS_USLETTER, letter}};
    using Texts = std::vector<std::string>;
    const struct {
        bool anyRegion;
        std::uint16_t pageSize;
        Rect32 region;
        Texts entries;
        int showing;
    } cases[] = {
        {true, TWSS_NONE, Rect32{}, {"Whole bed", "A4", "US Letter"}, 0},
        {true, TWSS_NONE, bed, {"Whole bed", "A4", "US Letter"}, 0},
        {true, TWSS_A4, a4, {"Whole bed", "A4", "US Letter"}, 1},
        {true, TWSS_USLETTER, letter, {"Whole bed", "A4", "US Letter"}, 2},
        {true, TWSS_NONE, Rect32{100, 100, 500, 500}, {"Whole bed", "A4", "US Letter", "Region drawn"}, 3},
        // The A4 frame drawn by hand is a region of no fixed size.
        {true, TWSS_NONE, a4, {"Whole bed", "A4", "US Letter", "Region drawn"}, 3},
        // An application that allows no frame of its own gets no whole bed.
        {false, TWSS_A4, a4, {"A4", "US Letter"}, 0},
    };
    for (const auto& c : cases) {
        settings.anyRegion = c.anyRegion;
        settings.pageSize = c.pageSize;
        const std::vector<PageEntry> entries = PageEntries(settings, c.region, bed);
        Texts texts;
        for (const PageEntry& entry : entries) texts.push_back(entry.text);
        EXPECT_EQ(texts, c.entries) << "size " << c.pageSize << " region right " << c.region.right;
        EXPECT_EQ(PageEntryShowing(entries, c.pageSize, c.region, bed), c.showing)
            << "size " << c.pageSize << " region right " << c.region.right;
    }
}

}  // namespace
