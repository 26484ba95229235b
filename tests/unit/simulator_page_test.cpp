// What the simulator's pages promise about their rows, and the renderer
// that relies on it: every band a page announces (RowsLike) and every
// earlier row it names (RowDrawnLike) is drawn exactly like the row asked
// about, and a scan of a page that announces nothing has the same pixels.
#if VOREL_HAVE_SIM

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "built_in_page.h"
#include "picture_page.h"
#include "scan_layout.h"
#include "scan_renderer.h"
#include "sheet_page.h"

namespace {

using sim::kBedHeight;
using sim::kBedWidth;

std::vector<std::uint8_t> Row(const sim::Page& page, int y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(kBedWidth) * 3);
    page.ReadRow(y, 0, kBedWidth, row.data());
    return row;
}

// A picture of 700 x 900 cells: bands of equal rows, rows that repeat
// further down, rows that all differ.
std::unique_ptr<sim::Page> Picture() {
    const int width = 700, height = 900;
    std::vector<std::uint8_t> cells;
    for (int y = 0; y < height; ++y) {
        const int look = y < 300 ? y / 50 : y < 600 ? y % 7 : y;
        for (int x = 0; x < width; ++x) {
            cells.push_back(static_cast<std::uint8_t>(look * 31 + x));
            cells.push_back(static_cast<std::uint8_t>(look));
            cells.push_back(static_cast<std::uint8_t>(x / 3));
        }
    }
    return std::make_unique<sim::PicturePage>(width, height, std::move(cells));
}

// Draws what the page draws and tells nothing about its rows.
class Opaque final : public sim::Page {
public:
    explicit Opaque(const sim::Page& inner) : inner(inner) {}
    void ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const override { inner.ReadRow(y, x0, x1, rgb); }

private:
    const sim::Page& inner;
};

TEST(SimulatorPage, BandsAndRepeatedRowsAreDrawnAlike) {
    const sim::BuiltInPage builtIn;
    const std::unique_ptr<sim::Page> picture = Picture();
    const sim::SheetPage sheet(builtIn, 38), pictureSheet(*picture, 1);
    const std::vector<const sim::Page*> pages = {&builtIn, picture.get(), &sheet, &pictureSheet};
    const char* names[] = {"built-in page", "picture", "sheet 38", "picture as sheet 1"};
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const sim::Page* page = pages[p];
        const std::string name = names[p];
        int bands = 0, repeats = 0;
        for (int y = 0; y < kBedHeight; ++y) {
            const int like = page->RowsLike(y);
            ASSERT_GE(like, 1) << name << " row " << y;
            ASSERT_LE(like, kBedHeight - y) << name << " row " << y;
            const std::vector<std::uint8_t> row = Row(*page, y);
            ASSERT_TRUE(Row(*page, y + like - 1) == row) << name << ": rows " << y << " to " << y + like - 1;
            const int original = page->RowDrawnLike(y);
            ASSERT_LE(original, y) << name << " row " << y;
            ASSERT_GE(original, 0) << name << " row " << y;
            if (original != y) {
                ASSERT_TRUE(Row(*page, original) == row) << name << ": rows " << original << ", " << y;
            }
            if (like > 1) ++bands;
            if (original != y) ++repeats;
        }
        EXPECT_GT(bands, kBedHeight / 2) << name << ": most rows lie in bands";
        EXPECT_GT(repeats, kBedHeight / 2) << name << ": most rows repeat an earlier row";
    }
}

struct RenderCase {
    sim::DataType type;
    int resolution;
    int scaling;
    sim::ScanWindow window;
};

TEST(SimulatorPage, ScansOfAPageThatTellsNothingHaveTheSamePixels) {
    const RenderCase cases[] = {
        {sim::DataType::Colour, 75, 100, {0, 0, 2550, 4200}},
        {sim::DataType::Grey, 150, 100, {0, 1300, 2550, 1600}},
        {sim::DataType::Colour, 200, 100, {33, 0, 1200, 4200}},
        {sim::DataType::BiLevel, 300, 100, {0, 0, 2550, 4200}},
        {sim::DataType::Colour, 600, 100, {1700, 1400, 800, 1200}},
        {sim::DataType::Grey, 1200, 100, {0, 2100, 900, 300}},
        {sim::DataType::Colour, 30, 100, {0, 0, 2550, 4200}},
        {sim::DataType::BiLevel, 100, 50, {0, 0, 2550, 4200}},
    };
    const sim::ColourMatrix swapped = {0, 0, 64, 0, 64, 0, 64, 0, 0};
    sim::LevelMap levels;
    for (int i = 0; i < 256; ++i) levels[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(255 - i / 2);
    const sim::BuiltInPage builtIn;
    const std::unique_ptr<sim::Page> picture = Picture();
    const sim::SheetPage sheet(builtIn, 38);
    for (const sim::Page* page : std::vector<const sim::Page*>{&builtIn, picture.get(), &sheet}) {
        const Opaque opaque(*page);
        for (const RenderCase& c : cases) {
            sim::ScanParameters parameters;
            parameters.dataType = c.type;
            parameters.resolution = c.resolution;
            parameters.scaling = c.scaling;
            parameters.window = c.window;
            const sim::ScanLayout layout = sim::ComputeLayout(parameters);
            sim::ScanRenderer told(*page, layout, c.type, swapped, levels);
            sim::ScanRenderer untold(opaque, layout, c.type, swapped, levels);
            for (int line = 0; line < layout.lines; ++line) {
                const std::uint8_t* a = told.RenderLine(line);
                const std::vector<std::uint8_t> expected(a, a + layout.bytesPerLine);
                const std::uint8_t* b = untold.RenderLine(line);
                ASSERT_TRUE(std::vector<std::uint8_t>(b, b + layout.bytesPerLine) == expected)
                    << (page == &builtIn ? "built-in page" : page == &sheet ? "sheet" : "picture") << ", "
                    << c.resolution << " dpi type "
                    << static_cast<int>(c.type) << ", line " << line;
            }
        }
    }
}

}  // namespace

#endif  // VOREL_HAVE_SIM
