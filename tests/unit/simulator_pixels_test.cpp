// The pixels of the simulated scanner, pinned: each scan below is read whole
// and its bytes hashed, and the hash must stay what it was when the values
// were taken. Any change to how the page is drawn, sampled, averaged or
// levelled (or to how the renderer reuses rows) shows up here. The scans
// cover every data type, resolutions from 12 to 2400 dpi, scaling, odd
// windows, the three kinds of matrix, tone map and invert, the built-in page
// and a picture, read in chunks that cross lines.
#if VOREL_HAVE_SIM

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "simulated_library.h"
#include "simulator_test_support.h"

namespace {

using simtest::SimulatorTest;
using simtest::Window;

enum class Matrix { Plain, Swapped, Mixed };
enum class Levels { Straight, ToneMap, Inverted, ToneMapInverted };

struct PixelCase {
    const char* name;
    std::int16_t dataType;
    int resolution;
    int scaling;
    Window window;
    Matrix matrix;
    Levels levels;
    bool picture;
    std::int32_t chunk;
    std::uint64_t hash;
};

std::uint64_t Fnv1a(const std::vector<std::uint8_t>& data) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::uint8_t byte : data) h = (h ^ byte) * 0x100000001b3ULL;
    return h;
}

// A picture with bands of equal rows, rows that all differ, and columns
// that vary, smaller than the bed so that white paper shows beyond it.
std::vector<std::uint8_t> MakePicture(int width, int height) {
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int band = y / 37;
            const bool stripes = band % 3 == 1;
            bytes.push_back(static_cast<std::uint8_t>(stripes ? (x * 7 + y * 13) : band * 29));
            bytes.push_back(static_cast<std::uint8_t>(x * 255 / width));
            bytes.push_back(static_cast<std::uint8_t>(stripes ? y : (x / 50) * 40));
        }
    }
    return bytes;
}

const PixelCase kCases[] = {
    {"colour 30 dpi bed", 5, 30, 100, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::Straight, false, 65536, 0xf568c343c2e653e8ULL},
    {"grey 75 dpi bed", 4, 75, 100, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::ToneMap, false, 65536, 0x1ad01920b02fcceaULL},
    {"bi-level 100 dpi bed", 0, 100, 100, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::Straight, false, 7001, 0x94f8f76424cd0e11ULL},
    {"colour 75 dpi bands swapped", 5, 75, 100, {0, 1300, 2550, 1000},
     Matrix::Swapped, Levels::ToneMap, false, 65536, 0x613de0a48c00148aULL},
    {"colour 150 dpi lines and text", 5, 150, 100, {0, 1400, 2550, 800},
     Matrix::Swapped, Levels::Straight, false, 64000, 0xe398927277913de2ULL},
    {"colour 299 dpi", 5, 299, 100, {101, 1390, 777, 400},
     Matrix::Plain, Levels::ToneMapInverted, false, 65536, 0xfdbbe5ff3cf7b79dULL},
    {"colour 300 dpi bars and wedge", 5, 300, 100, {150, 150, 1200, 420},
     Matrix::Swapped, Levels::ToneMap, false, 60000, 0xb5105040c7e9a25ULL},
    {"colour 301 dpi mixed matrix", 5, 301, 100, {13, 1900, 601, 500},
     Matrix::Mixed, Levels::Straight, false, 7001, 0xb2fc5c80f628a538ULL},
    {"grey 600 dpi diagonal lines", 4, 600, 100, {1900, 1440, 500, 300},
     Matrix::Plain, Levels::Inverted, false, 65536, 0x885bbc41ae932aedULL},
    {"colour 600 dpi text", 5, 600, 100, {160, 2140, 700, 240},
     Matrix::Swapped, Levels::ToneMap, false, 64000, 0x58fb73106d603d95ULL},
    {"bi-level 1200 dpi corner mark", 0, 1200, 100, {2300, 4050, 250, 150},
     Matrix::Plain, Levels::Straight, false, 65536, 0xc2b392ea542ca80dULL},
    {"colour 2400 dpi bar edge", 5, 2400, 100, {170, 490, 40, 100},
     Matrix::Mixed, Levels::ToneMap, false, 65536, 0x773624a4dde69ce5ULL},
    {"colour 12 dpi at 10 %", 5, 12, 10, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::Straight, false, 65536, 0xf27749c51c63d737ULL},
    {"grey 200 dpi at 50 %", 4, 200, 50, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::ToneMap, false, 65536, 0xe176c7eaa1d1b1dULL},
    {"colour 100 dpi at 400 %", 5, 100, 400, {1000, 1100, 300, 300},
     Matrix::Swapped, Levels::Straight, false, 7001, 0x80d488b15d367965ULL},
    {"grey 30 dpi bed inverted", 4, 30, 100, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::Inverted, false, 65536, 0x327488a26945574eULL},
    {"picture colour 150 dpi", 5, 150, 100, {0, 0, 800, 1000},
     Matrix::Plain, Levels::Straight, true, 65536, 0xd8b284a584e68f4dULL},
    {"picture colour 600 dpi edge", 5, 600, 100, {600, 800, 200, 200},
     Matrix::Swapped, Levels::ToneMap, true, 7001, 0x5f5456f7d5fd23e1ULL},
    {"picture grey 75 dpi", 4, 75, 100, {0, 0, 900, 1200},
     Matrix::Plain, Levels::Inverted, true, 65536, 0xc6d972371a15d4a0ULL},
    {"grey 300 dpi bed", 4, 300, 100, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::ToneMap, false, 65536, 0x37863fcb884e621eULL},
    {"colour 600 dpi lines full width", 5, 600, 100, {0, 1440, 2550, 30},
     Matrix::Swapped, Levels::Straight, false, 64000, 0x214659bdf7714919ULL},
    {"colour 1200 dpi text full width", 5, 1200, 100, {0, 2140, 2550, 20},
     Matrix::Plain, Levels::ToneMap, false, 61200, 0xc998421e626d3865ULL},
    {"bi-level 150 dpi bed inverted", 0, 150, 100, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::Inverted, false, 65536, 0x8ca0f06f9570efe9ULL},
    {"grey 200 dpi bed", 4, 200, 100, {0, 0, 2550, 4200},
     Matrix::Plain, Levels::ToneMap, false, 65536, 0x2b945feaefab765eULL},
    {"colour 120 dpi half bed", 5, 120, 100, {0, 2100, 2550, 2100},
     Matrix::Swapped, Levels::Straight, false, 64000, 0x36824dbe4c457a3bULL},
};

void PrintTo(const PixelCase& c, std::ostream* out) { *out << c.name; }

class SimulatorPixelsTest : public SimulatorTest, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(SimulatorPixelsTest, ScanHashesAsPinned) {
    const PixelCase& c = GetParam();
    std::string picturePath;
    if (c.picture) {
        picturePath = ::testing::TempDir() + "vorel_pixels_" + std::to_string(::getpid()) + ".ppm";
        const std::vector<std::uint8_t> picture = MakePicture(700, 900);
        std::ofstream(picturePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(picture.data()), static_cast<std::streamsize>(picture.size()));
        SetEnvironment("VOREL_SIM_PAGE", picturePath);
    }
    if (c.matrix != Matrix::Plain) {
        const std::int8_t swapped[9] = {0, 0, 64, 0, 64, 0, 64, 0, 0};
        const std::int8_t mixed[9] = {40, 30, -6, -10, 70, 4, 5, -20, 79};
        ASSERT_EQ(library.DownloadBlock(2, const_cast<std::int8_t*>(c.matrix == Matrix::Swapped ? swapped : mixed)), 0);
    }
    if (c.levels == Levels::ToneMap || c.levels == Levels::ToneMapInverted) {
        std::array<std::uint8_t, 256> map{};
        for (int input = 0; input < 256; ++input) map[255 - input] = static_cast<std::uint8_t>(input * input / 255);
        DownloadToneMap(map);
        ASSERT_EQ(library.SetParameter(28, -1), 0);
    }
    ASSERT_EQ(SetUpScan(c.dataType, c.resolution, c.window, c.scaling), 0) << c.name;
    if (c.levels == Levels::Inverted || c.levels == Levels::ToneMapInverted) {
        ASSERT_EQ(library.SetParameter(22, 1), 0);
    }

    const std::vector<std::uint8_t> data = ReadAll(c.chunk);
    EXPECT_EQ(static_cast<std::int64_t>(data.size()), std::int64_t{Geometry().totalBytes}) << c.name;
    const std::uint64_t hash = Fnv1a(data);
    EXPECT_EQ(hash, c.hash) << c.name << ": hash 0x" << std::hex << hash;
    if (!picturePath.empty()) std::remove(picturePath.c_str());
}

INSTANTIATE_TEST_SUITE_P(Scans, SimulatorPixelsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PixelCase>& info) { return std::to_string(info.index); });

}  // namespace

#endif  // VOREL_HAVE_SIM
