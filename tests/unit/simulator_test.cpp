// The simulated scanner command library, driven through its table as the
// source drives the real one: geometry against the bytes delivered, the
// page seen alike at every resolution, data types, colour matrix, tone map
// and invert, short reads, windows cut to fit, refused pointers and the
// command status that reports every refusal.
#if VOREL_HAVE_SIM

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "simulated_library.h"
#include "simulator_test_support.h"

namespace {

using simtest::Colour;
using simtest::SimulatorTest;

const ScannerLibrary& lib = SimulatedScannerLibrary();

// ---------------------------------------------------------------------------
// Geometry and delivered bytes

struct GeometryCase {
    std::int16_t dataType;
    int resolution;
    int scaling;
    simtest::Window window;  // left, top, width, height in 1/300 inch
};

void PrintTo(const GeometryCase& c, std::ostream* out) {
    *out << "type " << c.dataType << ", " << c.resolution << " dpi, " << c.scaling << " %, window " << c.window.left
         << ", " << c.window.top << ", " << c.window.width << " x " << c.window.height;
}

class SimulatorGeometryTest : public SimulatorTest, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(SimulatorGeometryTest, InquiriesAndGeometryDescribeExactlyTheBytesDelivered) {
    const GeometryCase& c = GetParam();
    ASSERT_EQ(SetUpScan(c.dataType, c.resolution, c.window, c.scaling), 0) << "set-up refused";

    const int rate = c.resolution * c.scaling / 100;
    const int pixels = c.window.width * rate / 300;
    const int lines = c.window.height * rate / 300;
    const int bytes = c.dataType == 0 ? (pixels + 7) / 8 : c.dataType == 5 ? pixels * 3 : pixels;

    const ScanGeometry geometry = Geometry();
    EXPECT_EQ(geometry.pixelsPerLine, pixels) << "pixels per line";
    EXPECT_EQ(geometry.bytesPerLine, bytes) << "bytes per line";
    EXPECT_EQ(geometry.lines, lines) << "lines";
    EXPECT_EQ(geometry.totalBytes, bytes * lines) << "total bytes";
    EXPECT_EQ(Inquire(51, 82), pixels) << "inquiry 51";
    EXPECT_EQ(Inquire(52, 82), bytes) << "inquiry 52";
    EXPECT_EQ(Inquire(53, 82), lines) << "inquiry 53";

    // A chunk that is not a multiple of the line length crosses lines.
    const std::vector<std::uint8_t> data = ReadAll(7001);
    EXPECT_EQ(static_cast<std::int64_t>(data.size()), std::int64_t{geometry.totalBytes}) << "bytes delivered";
    std::uint8_t byte = 0x5A;
    std::int32_t got = -1;
    EXPECT_EQ(lib.ReadScanData(0, &byte, 1, &got), 0);
    EXPECT_EQ(got, 0) << "a read after the end gives nothing";
}

const simtest::Window kWholeBed{0, 0, 2550, 4200};
const simtest::Window kOddWindow{13, 27, 1001, 777};
const simtest::Window kTinyWindow{2540, 4190, 10, 10};

INSTANTIATE_TEST_SUITE_P(
    TypesResolutionsWindows, SimulatorGeometryTest,
    ::testing::Values(GeometryCase{0, 30, 100, kWholeBed}, GeometryCase{4, 30, 100, kWholeBed},
                      GeometryCase{5, 30, 100, kWholeBed}, GeometryCase{0, 75, 100, kWholeBed},
                      GeometryCase{5, 100, 100, kWholeBed}, GeometryCase{4, 150, 100, kOddWindow},
                      GeometryCase{0, 300, 100, kOddWindow}, GeometryCase{5, 300, 100, kOddWindow},
                      GeometryCase{0, 600, 100, {100, 100, 333, 211}}, GeometryCase{5, 1200, 100, {500, 900, 77, 53}},
                      GeometryCase{4, 72, 100, kOddWindow}, GeometryCase{5, 150, 200, kOddWindow},
                      GeometryCase{0, 300, 50, kWholeBed}, GeometryCase{4, 2400, 100, kTinyWindow},
                      GeometryCase{5, 12, 100, kWholeBed}));

TEST_F(SimulatorTest, AfterResetThePreviewCoversTheWholeBed) {
    ASSERT_EQ(lib.ResetScanner(), 0);
    ASSERT_EQ(lib.SetScanResolution(30, 30), 0);
    ASSERT_EQ(lib.SetParameter(25, 5), 0);
    const ScanGeometry geometry = Geometry();
    EXPECT_EQ(geometry.pixelsPerLine, 255);
    EXPECT_EQ(geometry.bytesPerLine, 765);
    EXPECT_EQ(geometry.lines, 420);
    EXPECT_EQ(Inquire(18, 72), 2550) << "bed width";
    EXPECT_EQ(Inquire(19, 72), 4200) << "bed height";

    // A window set before the reset is forgotten by it.
    SetWindow(300, {100, 100, 300, 300});
    ASSERT_EQ(lib.ResetScanner(), 0);
    ASSERT_EQ(lib.SetScanResolution(30, 30), 0);
    EXPECT_EQ(Inquire(51, 82), 255) << "pixels per line after a second reset";
    EXPECT_EQ(Inquire(53, 82), 420) << "lines after a second reset";
}

// The device's preview set-up, call for call: colour, matrix 7 (or the
// uploaded matrix 0 when 7 is refused), then red and blue exchanged so the
// data arrive blue, green, red, then the tone map.
class SimulatorPreviewSequenceTest : public SimulatorTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SimulatorPreviewSequenceTest, DevicePreviewSetUpDeliversBlueGreenRed) {
    const bool matrix7 = GetParam();
    SetEnvironment("VOREL_SIM_MATRIX7", matrix7 ? "1" : "0");
    ASSERT_EQ(lib.ResetScanner(), 0);
    lib.SetScanResolution(30, 30);
    lib.SetParameter(1, 0);
    lib.SetParameter(25, 5);
    ASSERT_EQ(lib.GetCommandError(), 0) << "colour probe";
    lib.SetParameter(1, 0);
    lib.SetParameter(36, 7);
    std::array<std::int8_t, 9> matrix{};
    std::int16_t length = 0;
    if (lib.GetCommandError() != 0) {
        EXPECT_FALSE(matrix7) << "matrix 7 refused although available";
        EXPECT_EQ(lib.SetParameter(36, 0), 0);
        EXPECT_EQ(lib.UploadBlock(2, matrix.data(), 9, &length), 0);
        EXPECT_EQ(lib.DownloadBlock(2, matrix.data()), 0);
        EXPECT_EQ(lib.SetParameter(36, -1), 0);
    } else {
        EXPECT_TRUE(matrix7) << "matrix 7 accepted although refused by the environment";
    }
    ASSERT_EQ(lib.UploadBlock(2, matrix.data(), 9, &length), 0);
    EXPECT_EQ(length, 9);
    for (int row = 0; row < 3; ++row) std::swap(matrix[3 * row], matrix[3 * row + 2]);
    ASSERT_EQ(lib.DownloadBlock(2, matrix.data()), 0);
    DownloadToneMap(simtest::IdentityToneMap());
    ASSERT_EQ(lib.SetParameter(28, -1), 0);

    const ScanGeometry geometry = Geometry();
    ASSERT_EQ(geometry.pixelsPerLine, 255);
    ASSERT_EQ(geometry.lines, 420);
    const std::vector<std::uint8_t> data = ReadAll(60000);
    ASSERT_EQ(data.size(), 255u * 3 * 420);
    // The red bar (sixth) and the blue bar (seventh), and the red corner mark.
    EXPECT_EQ(simtest::ColourAt(data, 765, (175 + 5 * 275 + 137) / 10, 35), (Colour{0, 0, 255})) << "red bar as B,G,R";
    EXPECT_EQ(simtest::ColourAt(data, 765, (175 + 6 * 275 + 137) / 10, 35), (Colour{255, 0, 0})) << "blue bar as B,G,R";
    EXPECT_EQ(simtest::ColourAt(data, 765, 247, 8), (Colour{0, 0, 255})) << "red corner mark as B,G,R";
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutMatrix7, SimulatorPreviewSequenceTest, ::testing::Bool());

// ---------------------------------------------------------------------------
// The page

// Points in flat parts of the page, in 1/300 inch, with what lies there.
struct PagePoint {
    int x;
    int y;
    Colour colour;
};

std::vector<PagePoint> FlatPoints() {
    std::vector<PagePoint> points = {
        {80, 80, {0, 0, 0}},          {2470, 80, {255, 0, 0}},    {80, 4120, {0, 255, 0}},
        {2470, 4120, {0, 0, 255}},    {1275, 4010, {255, 255, 255}}, {20, 2000, {255, 255, 255}},
    };
    const Colour bars[8] = {{191, 191, 191}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                            {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    for (int bar = 0; bar < 8; ++bar) points.push_back({175 + bar * 275 + 137, 350, bars[bar]});
    for (int step = 0; step <= 10; ++step) {
        const int level = (step * 255 + 5) / 10;
        points.push_back({175 + step * 200 + 100, 725, {level, level, level}});
    }
    return points;
}

TEST_F(SimulatorTest, PreviewAndFinalScansSeeTheSamePage) {
    ASSERT_EQ(SetUpScan(5, 30, kWholeBed), 0);
    const std::vector<std::uint8_t> preview = ReadAll(60000);
    ASSERT_EQ(SetUpScan(5, 300, kWholeBed), 0);
    const std::vector<std::uint8_t> full = ReadAll(60000);
    const simtest::Window part{1000, 200, 1375, 700};
    ASSERT_EQ(SetUpScan(5, 150, part), 0);
    const std::vector<std::uint8_t> partial = ReadAll(60000);
    ASSERT_EQ(full.size(), 2550u * 3 * 4200);
    ASSERT_EQ(partial.size(), std::size_t{687} * 3 * 350);

    for (const PagePoint& point : FlatPoints()) {
        const std::string where = "at " + std::to_string(point.x) + ", " + std::to_string(point.y);
        EXPECT_EQ(simtest::ColourAt(preview, 765, point.x / 10, point.y / 10), point.colour) << "30 dpi " << where;
        EXPECT_EQ(simtest::ColourAt(full, 7650, point.x, point.y), point.colour) << "300 dpi " << where;
        if (point.x >= part.left + 2 && point.x < part.left + part.width - 2 && point.y >= part.top + 2 &&
            point.y < part.top + part.height - 2) {
            EXPECT_EQ(simtest::ColourAt(partial, 687 * 3, (point.x - part.left) / 2, (point.y - part.top) / 2),
                      point.colour)
                << "150 dpi window " << where;
        }
    }

    // The grey ramp changes by about one level a cell: a preview pixel is
    // the mean of the ten cells under it.
    for (int x = 300; x < 2300; x += 250) {
        const int y = 1000;
        const int previewLevel = simtest::ColourAt(preview, 765, x / 10, y / 10).r;
        const int fullLevel = simtest::ColourAt(full, 7650, x / 10 * 10 + 5, y).r;
        EXPECT_NEAR(previewLevel, fullLevel, 1) << "grey ramp at x " << x;
    }

    // Lines one cell wide: black and white in the 300 dpi scan, the grey
    // between them in the preview, as a real lens blurs them.
    const int lineX = 175 + 100;
    EXPECT_EQ(simtest::ColourAt(full, 7650, lineX, 1600), (Colour{0, 0, 0})) << "line";
    EXPECT_EQ(simtest::ColourAt(full, 7650, lineX + 1, 1600), (Colour{255, 255, 255})) << "gap between lines";
    EXPECT_NEAR(simtest::ColourAt(preview, 765, lineX / 10, 160).r, 128, 1) << "fine lines in the preview";
}

TEST_F(SimulatorTest, ScalingSamplesLikeTheSameRateOfResolution) {
    const simtest::Window part{150, 300, 500, 200};
    ASSERT_EQ(SetUpScan(5, 150, part, 200), 0);
    const std::vector<std::uint8_t> scaled = ReadAll(60000);
    ASSERT_EQ(SetUpScan(5, 300, part, 100), 0);
    const std::vector<std::uint8_t> plain = ReadAll(60000);
    EXPECT_EQ(scaled, plain) << "150 dpi at 200 % against 300 dpi at 100 %";
}

TEST_F(SimulatorTest, GreyAndBiLevelFollowThePage) {
    // Grey: the wedge steps; 0 is black.
    ASSERT_EQ(SetUpScan(4, 300, {175, 700, 2200, 1}), 0);
    std::vector<std::uint8_t> row = ReadAll(60000);
    ASSERT_EQ(row.size(), 2200u);
    for (int step = 0; step <= 10; ++step) {
        EXPECT_EQ(row[step * 200 + 100], (step * 255 + 5) / 10) << "wedge step " << step;
    }

    // Bi-level, most significant bit first, 1 white: four white cells then
    // the black top-left corner mark.
    ASSERT_EQ(SetUpScan(0, 300, {36, 50, 16, 1}), 0);
    row = ReadAll(60000);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0], 0xF0) << "white, white, white, white, black...";
    EXPECT_EQ(row[1], 0x00);

    // Vertical lines one cell on, one off, starting black.
    ASSERT_EQ(SetUpScan(0, 300, {175, 1500, 16, 1}), 0);
    row = ReadAll(60000);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0], 0x55);
    EXPECT_EQ(row[1], 0x55);

    // An odd width leaves the unused low bits of the last byte clear.
    ASSERT_EQ(SetUpScan(0, 300, {2000, 3990, 11, 1}), 0);
    row = ReadAll(60000);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0], 0xFF) << "white paper";
    EXPECT_EQ(row[1], 0xE0) << "three white pixels, five padding bits";
}

// ---------------------------------------------------------------------------
// Colour matrix, tone map, invert

TEST_F(SimulatorTest, ChannelOrderFollowsTheColourMatrix) {
    const simtest::Window redBar{175 + 5 * 275 + 100, 300, 4, 4};
    ASSERT_EQ(SetUpScan(5, 300, redBar), 0);
    EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 12, 1, 1), (Colour{255, 0, 0})) << "power-on matrix";

    std::array<std::int8_t, 9> matrix{};
    std::int16_t length = 0;
    ASSERT_EQ(lib.SetParameter(36, 7), 0);
    ASSERT_EQ(lib.UploadBlock(2, matrix.data(), 9, &length), 0);
    EXPECT_EQ(length, 9);
    const std::array<std::int8_t, 9> plain = matrix;
    for (int row = 0; row < 3; ++row) std::swap(matrix[3 * row], matrix[3 * row + 2]);
    ASSERT_EQ(lib.DownloadBlock(2, matrix.data()), 0);
    EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 12, 1, 1), (Colour{0, 0, 255})) << "downloaded, rows exchanged";

    std::array<std::int8_t, 9> uploaded{};
    ASSERT_EQ(lib.UploadBlock(2, uploaded.data(), 9, &length), 0);
    EXPECT_EQ(uploaded, matrix) << "the matrix in use comes back";

    // The downloaded matrix outlives a reset.
    ASSERT_EQ(SetUpScan(5, 300, redBar), 0);
    EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 12, 1, 1), (Colour{0, 0, 255})) << "after reset";

    ASSERT_EQ(lib.SetParameter(36, 7), 0);
    EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 12, 1, 1), (Colour{255, 0, 0})) << "matrix 7 again";
    ASSERT_EQ(lib.SetParameter(36, -1), 0);
    EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 12, 1, 1), (Colour{0, 0, 255})) << "downloaded again";
    ASSERT_EQ(lib.SetParameter(36, 0), 0);
    ASSERT_EQ(lib.UploadBlock(2, uploaded.data(), 9, &length), 0);
    EXPECT_EQ(uploaded, plain) << "matrix 0 passes colours through";

    // A matrix that is not a permutation mixes the channels: all three
    // outputs from green alone.
    std::array<std::int8_t, 9> greenOnly = {0, 64, 0, 0, 64, 0, 0, 64, 0};
    const simtest::Window yellowBar{175 + 275 + 100, 300, 4, 4};
    ASSERT_EQ(SetUpScan(5, 300, yellowBar), 0);
    ASSERT_EQ(lib.DownloadBlock(2, greenOnly.data()), 0);
    EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 12, 1, 1), (Colour{255, 255, 255})) << "green of yellow";
}

TEST_F(SimulatorTest, ToneMapTakesEffectOnlyOnceChosen) {
    const simtest::Window wedge{175, 700, 2200, 1};
    // Byte k is the output for input 255 - k: this map halves every level.
    std::array<std::uint8_t, 256> halve{};
    for (int k = 0; k < 256; ++k) halve[k] = static_cast<std::uint8_t>((255 - k) / 2);

    ASSERT_EQ(SetUpScan(4, 300, wedge), 0);
    DownloadToneMap(halve);
    std::vector<std::uint8_t> row = ReadAll(60000);
    EXPECT_EQ(row[10 * 200 + 100], 255) << "downloaded but not chosen";

    ASSERT_EQ(lib.SetParameter(28, -1), 0);
    row = ReadAll(60000);
    for (int step = 0; step <= 10; ++step) {
        EXPECT_EQ(row[step * 200 + 100], (step * 255 + 5) / 10 / 2) << "halved wedge step " << step;
    }

    ASSERT_EQ(lib.SetParameter(28, 0), 0);
    EXPECT_EQ(ReadAll(60000)[10 * 200 + 100], 255) << "linear again";
}

TEST_F(SimulatorTest, InvertTurnsEveryDataTypeOver) {
    const simtest::Window wedge{175, 700, 2200, 1};
    ASSERT_EQ(SetUpScan(4, 300, wedge), 0);
    ASSERT_EQ(lib.SetParameter(22, 1), 0);
    const std::vector<std::uint8_t> grey = ReadAll(60000);
    for (int step = 0; step <= 10; ++step) {
        EXPECT_EQ(grey[step * 200 + 100], 255 - (step * 255 + 5) / 10) << "inverted wedge step " << step;
    }

    ASSERT_EQ(SetUpScan(5, 300, {175 + 5 * 275 + 100, 300, 4, 4}), 0);
    ASSERT_EQ(lib.SetParameter(22, 1), 0);
    EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 12, 1, 1), (Colour{0, 255, 255})) << "inverted red";

    ASSERT_EQ(SetUpScan(0, 300, {36, 50, 16, 1}), 0);
    ASSERT_EQ(lib.SetParameter(22, 1), 0);
    const std::vector<std::uint8_t> bits = ReadAll(60000);
    EXPECT_EQ(bits[0], 0x0F) << "inverted: set bits are black";

    // Invert applies after the tone map: halved white inverted is 128.
    std::array<std::uint8_t, 256> halve{};
    for (int k = 0; k < 256; ++k) halve[k] = static_cast<std::uint8_t>((255 - k) / 2);
    ASSERT_EQ(SetUpScan(4, 300, wedge), 0);
    DownloadToneMap(halve);
    ASSERT_EQ(lib.SetParameter(28, -1), 0);
    ASSERT_EQ(lib.SetParameter(22, 1), 0);
    EXPECT_EQ(ReadAll(60000)[10 * 200 + 100], 255 - 127) << "white, halved, inverted";
}

}  // namespace

#endif  // VOREL_HAVE_SIM
