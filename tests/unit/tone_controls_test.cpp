// The tone controls and the scaling: the tone map built from the
// calibration and the controls, and, over the simulated scanner through
// DS_Entry, what the controls do to a grey page, that every transfer and the
// preview give the same levels under them, and the size of a scaled image.
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include "imaging/dib_format.h"
#include "imaging/pixel_conversion.h"
#include "imaging/tone_map.h"
#include "source_fixture.h"

using namespace source_test;

namespace {

using Levels = std::vector<int>;

Levels LevelsOf(const ToneControls& controls, const ToneCalibration& calibration = ToneCalibration{}) {
    std::uint8_t table[256];
    BuildToneLevels(calibration, controls, table);
    return Levels(table, table + 256);
}

double Mean(const Levels& v) {
    double sum = 0;
    for (int x : v) sum += x;
    return sum / v.size();
}

double Spread(const Levels& v) {
    const double mean = Mean(v);
    double sum = 0;
    for (int x : v) sum += (x - mean) * (x - mean);
    return std::sqrt(sum / v.size());
}

// --- The tone map ---

// With every control at its default the map is the calibration curve as
// the scanner always had it, and the scanner's copy runs from the brightest
// input down.
TEST(ToneMap, DefaultControlsGiveTheCalibrationCurve) {
    for (const ToneCalibration calibration : {ToneCalibration{}, ToneCalibration{200, 1.8}, ToneCalibration{255, 1.0}}) {
        std::uint8_t curve[256], levels[256], table[256];
        BuildCalibrationCurve(curve, 0, static_cast<unsigned>(calibration.highlight), calibration.gamma);
        BuildToneLevels(calibration, ToneControls{}, levels);
        BuildScannerToneMap(calibration, ToneControls{}, table);
        for (int input = 0; input < 256; ++input) {
            ASSERT_EQ(levels[input], curve[255 - input]) << "input " << input;
            ASSERT_EQ(table[255 - input], levels[input]) << "input " << input;
        }
    }
    // Gamma 1 and highlight 255: each level itself.
    EXPECT_EQ(LevelsOf(ToneControls{}, ToneCalibration{255, 1.0})[100], 100);
}

// Whatever the controls, a lighter input never comes out darker; a sweep
// over random controls and calibrations.
TEST(ToneMap, EveryMapRisesWithTheInput) {
    std::mt19937 random(26);
    std::uniform_int_distribution<int> control(-1000, 1000), gamma(10, 1000), level(0, 255);
    for (int round = 0; round < 2000; ++round) {
        ToneControls controls{control(random), control(random), gamma(random), level(random), level(random)};
        const ToneCalibration calibration{std::max(1, level(random)), gamma(random) / 100.0};
        const Levels levels = LevelsOf(controls, calibration);
        for (int input = 1; input < 256; ++input) {
            ASSERT_GE(levels[input], levels[input - 1])
                << "input " << input << " brightness " << controls.brightness << " contrast " << controls.contrast
                << " gamma " << controls.gammaHundredths << " shadow " << controls.shadow << " highlight "
                << controls.highlight;
        }
    }
}

// Brightness lifts every level between black and white, contrast spreads
// them, gamma above the calibration's lightens the middle; shadow and
// highlight make their calibrated levels black and white.
TEST(ToneMap, EachControlMovesTheLevelsItsWay) {
    const ToneCalibration linear{255, 1.0};
    int previousLevel = -1;
    double previousSpread = -1;
    for (int value : {-1000, -500, 0, 500, 1000}) {
        ToneControls bright;
        bright.brightness = value;
        const int level = LevelsOf(bright, linear)[128];
        EXPECT_GT(level, previousLevel) << "brightness " << value;
        previousLevel = level;
        EXPECT_EQ(LevelsOf(bright, linear)[0], 0) << "black stays black at brightness " << value;
        EXPECT_EQ(LevelsOf(bright, linear)[255], 255) << "white stays white at brightness " << value;

        ToneControls contrast;
        contrast.contrast = value;
        const double spread = Spread(LevelsOf(contrast, linear));
        EXPECT_GT(spread, previousSpread) << "contrast " << value;
        previousSpread = spread;
    }
    ToneControls lighter;
    lighter.gammaHundredths = 440;
    EXPECT_GT(LevelsOf(lighter)[60], LevelsOf(ToneControls{})[60]) << "gamma 4.4 over the calibration's 2.2";

    ToneControls ends;
    ends.shadow = 40;
    ends.highlight = 200;
    const Levels calibrated = LevelsOf(ToneControls{});
    const Levels cut = LevelsOf(ends);
    for (int input = 0; input < 256; ++input) {
        if (calibrated[input] <= 40) EXPECT_EQ(cut[input], 0) << "input " << input;
        if (calibrated[input] >= 200) EXPECT_EQ(cut[input], 255) << "input " << input;
    }
}

// --- Over the simulated scanner ---

// A 2 x 2 inch page at 300 dpi whose grey rises from left to right.
void WriteGreyRamp(const std::string& path) {
    constexpr int kSide = 600;
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << kSide << " " << kSide << "\n255\n";
    std::vector<char> row(3 * kSide);
    for (int x = 0; x < kSide; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = static_cast<char>(20 + x * 215 / kSide);
    for (int y = 0; y < kSide; ++y) out.write(row.data(), static_cast<std::streamsize>(row.size()));
}

enum class Mechanism { Native, Memory, File };

struct Image {
    std::int32_t width = 0;
    std::int32_t length = 0;
    std::vector<std::uint8_t> rows;  // top-down, unpadded
};

class ToneScanTest : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        WriteGreyRamp(folder + "/ramp.ppm");
        Simulate("VOREL_SIM_PAGE", (folder + "/ramp.ppm").c_str());
        ASSERT_EQ(Open(), TWRC_SUCCESS);
    }

    // Sets the type, 50 dpi and the region of the ramp, and the controls.
    void Negotiate(TW_UINT16 pixelType, const ToneControls& tone, TW_UINT16 dpi = 50) {
        const TW_UINT16 bits = pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, bits), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, dpi), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, dpi), TWRC_SUCCESS);
        TW_IMAGELAYOUT layout{{{0, 0}, {0, 0}, {2, 0}, {2, 0}}, 0, 0, 0};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_BRIGHTNESS, TWTY_INT32, tone.brightness), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_CONTRAST, TWTY_INT32, tone.contrast), TWRC_SUCCESS);
        // Gamma in hundredths as 16.16 fixed point.
        const auto fixed = static_cast<std::uint32_t>(std::lround(tone.gammaHundredths * 65536.0 / 100));
        ASSERT_EQ(SetOneValue(ICAP_GAMMA, TWTY_FIX32, static_cast<TW_INT32>(fixed >> 16 | fixed << 16)),
                  TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_HIGHLIGHT, TWTY_UINT16, tone.highlight), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_SHADOW, TWTY_UINT16, tone.shadow), TWRC_SUCCESS);
    }

    // Enables without the dialog and transfers the one image.
    Image Scan(Mechanism mechanism) {
        Image image;
        EXPECT_EQ(Enable(false), TWRC_SUCCESS);
        EXPECT_EQ(sourceState, 600);
        TW_IMAGEINFO info{};
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        image.width = info.ImageWidth;
        image.length = info.ImageLength;
        const std::size_t rowBytes = DibRowBytes(info.ImageWidth, info.BitsPerPixel);
        switch (mechanism) {
        case Mechanism::Native: {
            TW_HANDLE dib = nullptr;
            EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
            {
                platform::LockedBlock block(dib);
                if (block) image.rows = DibRows(static_cast<const std::uint8_t*>(block.get()), info, rowBytes);
            }
            platform::GlobalFreeBlock(dib);
            break;
        }
        case Mechanism::Memory: {
            std::vector<std::uint8_t> buffer(64000);
            for (int strip = 0; strip < 1000; ++strip) {
                TW_IMAGEMEMXFER xfer{};
                xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
                const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
                EXPECT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << "strip " << strip;
                for (std::uint32_t row = 0; row < xfer.Rows; ++row) {
                    const std::uint8_t* at = buffer.data() + std::size_t(row) * xfer.BytesPerRow;
                    image.rows.insert(image.rows.end(), at, at + rowBytes);
                }
                if (rc != TWRC_SUCCESS) break;
            }
            break;
        }
        case Mechanism::File: {
            TW_SETUPFILEXFER setup{};
            const std::string name = folder + "/scan.bmp";
            std::strncpy(setup.FileName, name.c_str(), sizeof setup.FileName - 1);
            setup.Format = TWFF_BMP;
            EXPECT_EQ(Control(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
            EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
            std::ifstream in(name, std::ios::binary);
            std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (file.size() > 14) image.rows = DibRows(file.data() + 14, info, rowBytes);
            break;
        }
        }
        EXPECT_EQ(EndXfer(), TWRC_SUCCESS);
        EXPECT_EQ(Disable(false), TWRC_SUCCESS);
        return image;
    }

    // The rows of a packed DIB, top-down and without padding.
    static std::vector<std::uint8_t> DibRows(const std::uint8_t* dib, const TW_IMAGEINFO& info, std::size_t rowBytes) {
        const std::uint32_t entries = info.BitsPerPixel == 24 ? 0 : 1u << info.BitsPerPixel;
        const std::uint8_t* bits = dib + kDibHeaderSize + 4 * entries;
        const std::size_t stride = RowStride(static_cast<std::uint32_t>(rowBytes));
        std::vector<std::uint8_t> rows;
        for (std::int32_t y = info.ImageLength; y-- > 0;) {
            const std::uint8_t* row = bits + stride * static_cast<std::size_t>(y);
            rows.insert(rows.end(), row, row + rowBytes);
        }
        return rows;
    }
};

Levels AsLevels(const std::vector<std::uint8_t>& bytes) { return Levels(bytes.begin(), bytes.end()); }

// A grey page's mean rises strictly with brightness, and its spread with
// contrast, as the scanner delivers it.
TEST_F(ToneScanTest, BrightnessRaisesAGreyPagesMeanAndContrastItsSpread) {
    double previousMean = -1, previousSpread = -1;
    for (int value : {-1000, -500, 0, 500, 1000}) {
        ToneControls bright;
        bright.brightness = value;
        Negotiate(TWPT_GRAY, bright);
        const Image brighter = Scan(Mechanism::Native);
        ASSERT_EQ(brighter.rows.size(), 100u * 100u) << "2 inches at 50 dpi";
        const double mean = Mean(AsLevels(brighter.rows));
        EXPECT_GT(mean, previousMean) << "brightness " << value;
        previousMean = mean;

        ToneControls contrast;
        contrast.contrast = value;
        Negotiate(TWPT_GRAY, contrast);
        const double spread = Spread(AsLevels(Scan(Mechanism::Native).rows));
        EXPECT_GT(spread, previousSpread) << "contrast " << value;
        previousSpread = spread;
    }
}

// Brightness applies before the black-and-white threshold: more of the ramp
// is white the brighter the scan.
TEST_F(ToneScanTest, BrightnessMovesTheThresholdOfOneBitScans) {
    int previousWhite = -1;
    for (int value : {-1000, 0, 1000}) {
        ToneControls bright;
        bright.brightness = value;
        Negotiate(TWPT_BW, bright);
        const Image image = Scan(Mechanism::Memory);
        int white = 0;
        for (std::uint8_t byte : image.rows) white += __builtin_popcount(byte);
        EXPECT_GT(white, previousWhite) << "brightness " << value;
        previousWhite = white;
    }
}

// The same settings give the same pixels by native, memory and file
// transfer, and the preview shows them too: its page, read without a tone
// map before the settings changed, drawn under the levels of the enabling.
TEST_F(ToneScanTest, EveryTransferAndThePreviewGiveTheSameLevels) {
    std::ofstream(folder + "/vorelsrc.ini") << "[Test]\nHighlight=230\nGammaX10=20\n";
    ToneControls varied[4];
    varied[1].brightness = 400;
    varied[1].contrast = -300;
    varied[2].brightness = -700;
    varied[2].contrast = 800;
    varied[2].gammaHundredths = 150;
    varied[3].shadow = 30;
    varied[3].highlight = 180;
    varied[3].gammaHundredths = 300;
    Dialog().PreviewScan();
    for (const TW_UINT16 pixelType : {TWPT_BW, TWPT_GRAY, TWPT_RGB}) {
        for (const ToneControls& tone : varied) {
            const std::string what = "type " + std::to_string(pixelType) + " brightness " +
                                     std::to_string(tone.brightness) + " contrast " + std::to_string(tone.contrast);
            Negotiate(pixelType, tone);
            const Image native = Scan(Mechanism::Native);
            ASSERT_FALSE(native.rows.empty()) << what;
            EXPECT_EQ(Scan(Mechanism::Memory).rows, native.rows) << what << ": memory";
            EXPECT_EQ(Scan(Mechanism::File).rows, native.rows) << what << ": file";

            // The preview at 30 dpi against the final scan of the whole bed at 30 dpi.
            Negotiate(pixelType, tone, 30);
            TW_IMAGELAYOUT bed{{{0, 0}, {0, 0}, {2550, 0}, {4200, 0}}, 0, 0, 0};  // in 1/300 inch
            ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &bed), TWRC_SUCCESS);
            const Image final = Scan(Mechanism::Memory);
            const std::int32_t width = Dialog().preview.imageRect.right, height = Dialog().preview.imageRect.bottom;
            ASSERT_EQ(final.width, width);
            ASSERT_EQ(final.length, height);
            const std::uint32_t bits = pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
            const std::size_t rowBytes = DibRowBytes(width, bits), stride = RowStride(static_cast<std::uint32_t>(rowBytes));
            std::vector<std::uint8_t> rendered(stride * height);
            ConvertRows(bits, rendered.data(), Dialog().preview.buffer(), width, height, Dialog().preview.levels);
            int differing = 0;
            for (std::int32_t y = 0; y < height; ++y) {
                const std::uint8_t* shown = rendered.data() + stride * y;
                const std::uint8_t* scanned = final.rows.data() + rowBytes * y;
                if (bits == 24) {
                    // The preview is blue, green, red; the memory strips red, green, blue.
                    for (std::int32_t x = 0; x < width; ++x)
                        differing += shown[3 * x] != scanned[3 * x + 2] || shown[3 * x + 1] != scanned[3 * x + 1] ||
                                     shown[3 * x + 2] != scanned[3 * x];
                } else {
                    differing += std::memcmp(shown, scanned, rowBytes) != 0;
                }
            }
            EXPECT_EQ(differing, 0) << what << ": the preview unlike the final scan";
        }
    }
}

// The scanner scales: 150 dpi at 2.00 gives the pixels of 300 dpi at 1.00,
// and the image's size follows while its resolution stays the one asked for.
TEST_F(ToneScanTest, ScalingSizesTheImage) {
    Negotiate(TWPT_GRAY, ToneControls{}, 300);
    const Image plain = Scan(Mechanism::Native);
    ASSERT_EQ(plain.width, 600);

    Negotiate(TWPT_GRAY, ToneControls{}, 150);
    ASSERT_EQ(SetOneValue(ICAP_XSCALING, TWTY_FIX32, 2), TWRC_SUCCESS);
    EXPECT_EQ(GetCurrent(ICAP_YSCALING), 2) << "the scalings are kept equal";
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.ImageWidth, 600);
    EXPECT_EQ(info.ImageLength, 600);
    EXPECT_EQ(info.XResolution.Whole, 150);
    ASSERT_EQ(Disable(false), TWRC_SUCCESS);
    for (const Mechanism mechanism : {Mechanism::Native, Mechanism::Memory, Mechanism::File}) {
        const Image scaled = Scan(mechanism);
        EXPECT_EQ(scaled.width, 600);
        EXPECT_EQ(scaled.rows, plain.rows) << "mechanism " << int(mechanism);
    }

    // Half size, and back to 1.00 by MSG_RESET of the other axis.
    TW_UINT32 half = 0x8000u << 16;
    ASSERT_EQ(SetOneValue(ICAP_YSCALING, TWTY_FIX32, static_cast<TW_INT32>(half)), TWRC_SUCCESS);
    EXPECT_EQ(Scan(Mechanism::Memory).width, 150);
    TW_CAPABILITY reset{ICAP_XSCALING, 0, nullptr};
    ASSERT_EQ(Control(DAT_CAPABILITY, MSG_RESET, &reset), TWRC_SUCCESS);
    platform::GlobalFreeBlock(reset.hContainer);
    EXPECT_EQ(GetCurrent(ICAP_YSCALING), 1);
    EXPECT_EQ(Scan(Mechanism::Memory).width, 300);
}

// A scaled frame too large for one window of the scanner library is cut
// into pieces at the scaled rate: 600 dpi at 4.00 over the width in colour
// is the 2400 dpi frame, columns and all.
TEST_F(ToneScanTest, ScaledFramesInPiecesJoinExactly) {
    const auto wideStrip = [&](TW_UINT16 dpi, TW_UINT32 scaling) {
        Negotiate(TWPT_RGB, ToneControls{}, dpi);
        EXPECT_EQ(SetOneValue(ICAP_XSCALING, TWTY_FIX32, static_cast<TW_INT32>(scaling)), TWRC_SUCCESS);
        TW_IMAGELAYOUT strip{{{0, 0}, {500, 0}, {2550, 0}, {530, 0}}, 0, 0, 0};  // in 1/300 inch
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &strip), TWRC_SUCCESS);
        // Before the scan the smallest buffer already holds a scaled row.
        TW_SETUPMEMXFER setup{};
        EXPECT_EQ(Control(DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
        EXPECT_GE(setup.MinBufSize, 20400u * 3) << dpi << " dpi at " << scaling;
        return Scan(Mechanism::Memory);
    };
    const Image scaled = wideStrip(600, 4);
    EXPECT_EQ(scaled.width, 20400);
    EXPECT_EQ(scaled.length, 240);
    const Image plain = wideStrip(2400, 1);
    EXPECT_TRUE(scaled.rows == plain.rows) << "the scaled pieces join where the unscaled ones do";
    EXPECT_TRUE(boxes.empty());
}

// Shadow and highlight are taken in either order, whatever the other is
// then (an application or a kept set-up sets one before the other): a
// highlight at or below the shadow makes black and white meet at the shadow.
TEST_F(ToneScanTest, ShadowAndHighlightInEitherOrder) {
    ASSERT_EQ(SetOneValue(ICAP_HIGHLIGHT, TWTY_UINT16, 100), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_SHADOW, TWTY_UINT16, 150), TWRC_SUCCESS);
    EXPECT_EQ(GetCurrent(ICAP_SHADOW), 150);
    EXPECT_EQ(GetCurrent(ICAP_HIGHLIGHT), 100);
    ToneControls crossed;
    crossed.shadow = 150;
    crossed.highlight = 100;
    const Levels levels = LevelsOf(crossed, ToneCalibration{255, 1.0});
    for (int input = 0; input < 256; ++input) {
        ASSERT_EQ(levels[input], input <= 150 ? 0 : 255) << "input " << input;
    }
}

}  // namespace
