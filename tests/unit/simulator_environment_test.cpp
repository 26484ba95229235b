// The VOREL_SIM_* variables that make the simulated scanner a particular
// model or a failing one: each takes effect after the simulator is
// switched on again, a bad value is reported and replaced by the default,
// a picture file replaces the built-in page (and a malformed one does
// not), and the call log gets one line per call.
#if VOREL_HAVE_SIM

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "simulator_test_support.h"

namespace {

using simtest::Colour;
using simtest::SimulatorTest;

const ScannerLibrary& lib = SimulatedScannerLibrary();

std::string ScratchPath(const std::string& name) {
    return ::testing::TempDir() + "vorel_sim_" + std::to_string(::getpid()) + "_" + name;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The colour of a test picture's pixel: quadrants of red, green, blue and
// grey with a diagonal of black, so position and channel order both show.
Colour PictureColour(int x, int y, int width, int height) {
    if (x == y) return {0, 0, 0};
    const bool right = x >= width / 2;
    const bool bottom = y >= height / 2;
    if (!right && !bottom) return {200, 30, 40};
    if (right && !bottom) return {20, 210, 50};
    if (!right && bottom) return {10, 40, 220};
    return {128, 128, 128};
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}
void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> MakeBmp(int width, int height, bool topDown, std::uint16_t bitCount = 24) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3U;
    std::vector<std::uint8_t> out = {'B', 'M'};
    Put32(out, 54 + stride * height);  // bfSize
    Put32(out, 0);                     // bfReserved1, bfReserved2
    Put32(out, 54);                    // bfOffBits
    Put32(out, 40);                    // biSize
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(topDown ? -height : height));
    Put16(out, 1);         // biPlanes
    Put16(out, bitCount);  // biBitCount
    for (int k = 0; k < 6; ++k) Put32(out, 0);  // compression, sizes, resolutions, colours
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        for (int x = 0; x < width; ++x) {
            const Colour c = PictureColour(x, y, width, height);
            out.push_back(static_cast<std::uint8_t>(c.b));
            out.push_back(static_cast<std::uint8_t>(c.g));
            out.push_back(static_cast<std::uint8_t>(c.r));
        }
        out.resize(out.size() + (stride - width * 3), 0);
    }
    return out;
}

std::vector<std::uint8_t> MakePpm(int width, int height, int maxValue = 255) {
    const std::string header = "P6\n# made by the simulator test\n" + std::to_string(width) + " " +
                               std::to_string(height) + "\n" + std::to_string(maxValue) + "\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Colour c = PictureColour(x, y, width, height);
            for (int v : {c.r, c.g, c.b}) {
                const int sample = (v * maxValue + 127) / 255;
                if (maxValue > 255) out.push_back(static_cast<std::uint8_t>(sample >> 8));
                out.push_back(static_cast<std::uint8_t>(sample));
            }
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Each variable takes effect

TEST_F(SimulatorTest, ColourZeroRefusesDataTypeFive) {
    SetEnvironment("VOREL_SIM_COLOR", "0");
    EXPECT_NE(lib.SetParameter(25, 5), 0) << "colour on a grey scanner";
    EXPECT_NE(lib.GetCommandError(), 0) << "the device's colour probe";
    EXPECT_EQ(lib.SetParameter(25, 4), 0) << "grey";
    EXPECT_EQ(lib.GetCommandError(), 0);
}

TEST_F(SimulatorTest, OpenStatusIsWhatOpenScannerAnswers) {
    for (const char* status : {"-10", "3"}) {
        SetEnvironment("VOREL_SIM_OPEN", status);
        EXPECT_EQ(lib.OpenScanner(1, 1), std::stoi(status)) << "VOREL_SIM_OPEN=" << status;
        std::int16_t value = 0x1234;
        EXPECT_NE(lib.InquireParameter(18, 72, &value), 0) << "inquiry on a scanner that did not open";
        EXPECT_EQ(value, 0x1234);
        EXPECT_EQ(lib.OpenScanner(1, 0), 0) << "release is always accepted";
    }
}

TEST_F(SimulatorTest, ResetStatusIsWhatResetScannerAnswers) {
    SetEnvironment("VOREL_SIM_RESET", "7");
    EXPECT_EQ(lib.ResetScanner(), 7);
    EXPECT_EQ(lib.GetCommandError(), 7);
}

TEST_F(SimulatorTest, FeederAnswersInquiries43And44) {
    struct Case {
        const char* value;
        int enabled;
        int loaded;
    };
    for (const Case& c : {Case{"none", 0, 0}, Case{"enabled", 1, 0}, Case{"loaded", 1, 1}}) {
        SetEnvironment("VOREL_SIM_FEEDER", c.value);
        EXPECT_EQ(Inquire(43, 82), c.enabled) << "feeder enabled with VOREL_SIM_FEEDER=" << c.value;
        EXPECT_EQ(Inquire(44, 82), c.loaded) << "feeder loaded with VOREL_SIM_FEEDER=" << c.value;
    }
    ClearEnvironment();
    ResetSimulator();
    lib.OpenScanner(1, 1);
    EXPECT_EQ(Inquire(43, 82), 0) << "no feeder by default";
}

// Each scan from a loaded feeder takes a sheet; inquiry 44 turns false
// when the last is taken, and later scans are of the flatbed. The jammed
// sheet stops half way with status -12 until the next set-up.
TEST_F(SimulatorTest, FeederSheetsRunOutAndOneMayJam) {
    setenv("VOREL_SIM_FEEDER", "loaded", 1);
    setenv("VOREL_SIM_JAM", "2", 1);
    SetEnvironment("VOREL_SIM_SHEETS", "2");
    const std::size_t whole = 255u * 420;
    ASSERT_EQ(SetUpScan(4, 30, {0, 0, 2550, 4200}), 0);
    EXPECT_EQ(Inquire(44, 82), 1) << "two sheets in the feeder";
    EXPECT_EQ(ReadAll(60000).size(), whole) << "sheet 1";
    EXPECT_EQ(Inquire(44, 82), 1) << "one sheet left";

    ASSERT_EQ(SetUpScan(4, 30, {0, 0, 2550, 4200}), 0);
    std::vector<std::uint8_t> buffer(whole);
    std::int32_t got = -1;
    EXPECT_EQ(lib.ReadScanData(2, buffer.data(), static_cast<std::int32_t>(whole), &got), -12) << "sheet 2 jams";
    EXPECT_EQ(got, std::int32_t(whole / 2)) << "half way";
    EXPECT_EQ(lib.ReadScanData(0, buffer.data(), 10, &got), -12) << "until the next set-up";
    EXPECT_EQ(got, 0);
    EXPECT_EQ(Inquire(44, 82), 0) << "the feeder is empty";
    ASSERT_EQ(SetUpScan(4, 30, {0, 0, 2550, 4200}), 0);
    EXPECT_EQ(ReadAll(60000).size(), whole) << "the flatbed after the feeder";
}

TEST_F(SimulatorTest, MatrixSevenZeroRefusesTheBuiltInMatrix) {
    SetEnvironment("VOREL_SIM_MATRIX7", "0");
    EXPECT_NE(lib.SetParameter(36, 7), 0);
    EXPECT_NE(lib.GetCommandError(), 0);
    // Colour still arrives red, green, blue through matrix 0.
    ASSERT_EQ(SetUpScan(5, 300, {175 + 5 * 275 + 100, 300, 4, 4}), 0);
    EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 12, 1, 1), (Colour{255, 0, 0}));
}

TEST_F(SimulatorTest, LinesStopsTheScannerAfterThatManyLines) {
    for (int limit : {3, 0}) {
        SetEnvironment("VOREL_SIM_LINES", std::to_string(limit));
        ASSERT_EQ(SetUpScan(5, 30, {0, 0, 2550, 4200}), 0);
        EXPECT_EQ(Geometry().lines, 420) << "the geometry does not know the scanner will stop";
        EXPECT_EQ(ReadAll(1000).size(), std::size_t(limit) * 765) << "VOREL_SIM_LINES=" << limit;
        std::uint8_t buffer[10];
        std::int32_t got = -1;
        EXPECT_EQ(lib.ReadScanData(0, buffer, 10, &got), 0);
        EXPECT_EQ(got, 0) << "after the scanner stopped";
    }
}

// Calls are counted from power-on; the one named fails without doing
// anything, and GetCommandError repeats its status.
TEST_F(SimulatorTest, FailAtMakesThatOneCallFail) {
    for (const char* status : {"", "-3", "12"}) {
        if (*status) setenv("VOREL_SIM_FAIL_STATUS", status, 1);
        const std::int16_t expected = *status ? static_cast<std::int16_t>(std::stoi(status)) : -6;
        SetEnvironment("VOREL_SIM_FAIL_AT", "3");  // call 1 is SetEnvironment's OpenScanner
        std::int16_t value = 0x1234;
        EXPECT_EQ(lib.InquireParameter(18, 72, &value), 0) << "call 2";
        EXPECT_EQ(lib.InquireParameter(18, 72, &value), expected) << "call 3, VOREL_SIM_FAIL_STATUS=" << status;
        EXPECT_EQ(value, 2550) << "the failed call wrote nothing";
        EXPECT_EQ(lib.GetCommandError(), expected) << "call 4 repeats the failure";
        EXPECT_EQ(lib.InquireParameter(19, 72, &value), 0) << "call 5";
        EXPECT_EQ(value, 4200);
    }
}

TEST_F(SimulatorTest, BadValuesAreReportedAndTheDefaultsKept) {
    struct Case {
        const char* name;
        const char* value;
    };
    for (const Case& c : {Case{"VOREL_SIM_COLOR", "banana"}, Case{"VOREL_SIM_COLOR", "2"},
                          Case{"VOREL_SIM_OPEN", "-10x"}, Case{"VOREL_SIM_OPEN", "40000"},
                          Case{"VOREL_SIM_RESET", "soon"}, Case{"VOREL_SIM_FEEDER", "full"},
                          Case{"VOREL_SIM_MATRIX7", "yes"}, Case{"VOREL_SIM_LINES", "-5"},
                          Case{"VOREL_SIM_LINES", "99999999999999999999"}, Case{"VOREL_SIM_SHEETS", "-1"},
                          Case{"VOREL_SIM_JAM", "0"}, Case{"VOREL_SIM_FAIL_AT", "-1"},
                          Case{"VOREL_SIM_FAIL_STATUS", "0"}, Case{"VOREL_SIM_SHEET_CONTENT", "page,,blank"},
                          Case{"VOREL_SIM_SHEET_CONTENT", "page,empty"}}) {
        ClearEnvironment();
        ::testing::internal::CaptureStderr();
        SetEnvironment(c.name, c.value);
        const std::string complaint = ::testing::internal::GetCapturedStderr();
        const std::string setting = std::string(c.name) + "=" + c.value;
        EXPECT_NE(complaint.find(c.name), std::string::npos) << setting << " not reported: " << complaint;

        // Everything behaves as by default.
        EXPECT_EQ(lib.OpenScanner(1, 1), 0) << setting;
        EXPECT_EQ(lib.ResetScanner(), 0) << setting;
        EXPECT_EQ(lib.SetParameter(25, 5), 0) << setting;
        EXPECT_EQ(lib.SetParameter(36, 7), 0) << setting;
        EXPECT_EQ(Inquire(43, 82), 0) << setting;
        ASSERT_EQ(SetUpScan(4, 30, {0, 0, 2550, 4200}), 0) << setting;
        EXPECT_EQ(ReadAll(60000).size(), 255u * 420) << setting;
    }
}

// ---------------------------------------------------------------------------
// A picture instead of the built-in page

struct PictureCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
};

class SimulatorPictureTest : public SimulatorTest, public ::testing::WithParamInterface<int> {};

TEST_P(SimulatorPictureTest, PictureIsScannedFromTheBedsOriginAndWhiteBeyondIt) {
    constexpr int kWidth = 41;
    constexpr int kHeight = 30;
    const std::vector<PictureCase> pictures = {
        {"bottom-up BMP", MakeBmp(kWidth, kHeight, false)},
        {"top-down BMP", MakeBmp(kWidth, kHeight, true)},
        {"PPM", MakePpm(kWidth, kHeight)},
        {"16-bit PPM", MakePpm(kWidth, kHeight, 1000)},
    };
    const PictureCase& picture = pictures[GetParam()];
    const std::string path = ScratchPath("picture");
    WriteFile(path, picture.bytes);
    ::testing::internal::CaptureStderr();
    SetEnvironment("VOREL_SIM_PAGE", path);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << picture.name << " reported as bad";

    ASSERT_EQ(SetUpScan(5, 300, {0, 0, kWidth + 5, kHeight + 5}), 0);
    const std::vector<std::uint8_t> data = ReadAll(60000);
    ASSERT_EQ(data.size(), std::size_t(kWidth + 5) * 3 * (kHeight + 5));
    for (int y = 0; y < kHeight + 5; ++y) {
        for (int x = 0; x < kWidth + 5; ++x) {
            const Colour expected =
                x < kWidth && y < kHeight ? PictureColour(x, y, kWidth, kHeight) : Colour{255, 255, 255};
            ASSERT_EQ(simtest::ColourAt(data, (kWidth + 5) * 3, x, y), expected)
                << picture.name << " at " << x << ", " << y;
        }
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(BmpAndPpm, SimulatorPictureTest, ::testing::Range(0, 4));

TEST_F(SimulatorTest, PictureLargerThanTheBedIsCutAtTheBedsEdge) {
    constexpr int kWidth = 2600;
    constexpr int kHeight = 4;
    const std::string path = ScratchPath("wide_picture");
    WriteFile(path, MakeBmp(kWidth, kHeight, true));
    ::testing::internal::CaptureStderr();
    SetEnvironment("VOREL_SIM_PAGE", path);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(SetUpScan(5, 300, {2540, 0, 10, 6}), 0);
    const std::vector<std::uint8_t> data = ReadAll(60000);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(simtest::ColourAt(data, 30, x, 1), PictureColour(2540 + x, 1, kWidth, kHeight)) << "x " << 2540 + x;
        EXPECT_EQ(simtest::ColourAt(data, 30, x, 5), (Colour{255, 255, 255})) << "below the picture, x " << 2540 + x;
    }
    std::remove(path.c_str());
}

TEST_F(SimulatorTest, MalformedPicturesAreReportedAndTheBuiltInPageScanned) {
    std::vector<std::uint8_t> eightBit = MakeBmp(8, 8, false, 8);
    std::vector<std::uint8_t> truncatedBmp = MakeBmp(40, 40, false);
    truncatedBmp.resize(truncatedBmp.size() - 100);
    std::vector<std::uint8_t> hugeBmp = MakeBmp(4, 4, false);
    hugeBmp[18] = 0xFF, hugeBmp[19] = 0xFF, hugeBmp[20] = 0xFF, hugeBmp[21] = 0x7F;  // width 2^31 - 1
    std::vector<std::uint8_t> negativeWidth = MakeBmp(4, 4, false);
    negativeWidth[21] = 0x80;
    std::vector<std::uint8_t> mostNegativeHeight = MakeBmp(4, 4, false);
    mostNegativeHeight[22] = 0, mostNegativeHeight[23] = 0, mostNegativeHeight[24] = 0, mostNegativeHeight[25] = 0x80;
    std::vector<std::uint8_t> badOffset = MakeBmp(4, 4, false);
    badOffset[10] = 0xF0, badOffset[11] = 0xFF, badOffset[12] = 0xFF, badOffset[13] = 0xFF;
    std::vector<std::uint8_t> truncatedPpm = MakePpm(40, 40);
    truncatedPpm.resize(truncatedPpm.size() - 1);
    const std::string ascii = "P3\n2 2\n255\n0 0 0 0 0 0 0 0 0 0 0 0\n";
    const std::string zeroMax = "P6\n2 2\n0\n............";
    const std::string hugePpm = "P6\n99999999999999999999 2\n255\n";
    const std::string garbage = "hello";

    const std::vector<PictureCase> cases = {
        {"8-bit BMP", eightBit},
        {"truncated BMP", truncatedBmp},
        {"BMP of absurd width", hugeBmp},
        {"BMP of negative width", negativeWidth},
        {"BMP with pixel offset beyond the file", badOffset},
        {"BMP of height -2^31", mostNegativeHeight},
        {"truncated PPM", truncatedPpm},
        {"ASCII PPM", {ascii.begin(), ascii.end()}},
        {"PPM with maximum 0", {zeroMax.begin(), zeroMax.end()}},
        {"PPM of absurd width", {hugePpm.begin(), hugePpm.end()}},
        {"not a picture", {garbage.begin(), garbage.end()}},
        {"empty file", {}},
    };
    const std::string path = ScratchPath("bad_picture");
    for (const PictureCase& c : cases) {
        WriteFile(path, c.bytes);
        ::testing::internal::CaptureStderr();
        SetEnvironment("VOREL_SIM_PAGE", path);
        const std::string complaint = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(complaint.find("VOREL_SIM_PAGE"), std::string::npos) << c.name << " not reported";
        // The built-in page's black corner mark.
        ASSERT_EQ(SetUpScan(5, 300, {70, 70, 20, 20}), 0) << c.name;
        EXPECT_EQ(simtest::ColourAt(ReadAll(60000), 60, 10, 10), (Colour{0, 0, 0})) << c.name;
    }
    std::remove(path.c_str());

    ::testing::internal::CaptureStderr();
    SetEnvironment("VOREL_SIM_PAGE", ScratchPath("no_such_file"));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("VOREL_SIM_PAGE"), std::string::npos) << "missing file";
}

// ---------------------------------------------------------------------------
// The call log

TEST_F(SimulatorTest, LogGetsOneLinePerCall) {
    const std::string path = ScratchPath("calls.log");
    std::remove(path.c_str());
    SetEnvironment("VOREL_SIM_LOG", path);  // opens the scanner: the first line
    lib.ResetScanner();
    lib.SetParameter(25, 5);
    std::uint16_t window[5] = {300, 0, 0, 100, 100};
    lib.SetScanWindow(window, 0);
    ScanGeometry geometry{};
    lib.GetScanGeometry(&geometry);
    std::vector<std::uint8_t> buffer(1000);
    std::int32_t got = 0;
    lib.ReadScanData(2, buffer.data(), 1000, &got);
    lib.ReadScanData(0, buffer.data(), 10, nullptr);
    lib.GetCommandError();
    std::int16_t value = 0;
    lib.InquireParameter(43, 82, &value);

    const std::vector<std::string> expected = {
        "2 OpenScanner(1, 1) = 0",
        "13 ResetScanner() = 0",
        "30 SetParameter(25, 5) = 0",
        "20 SetScanWindow({300, 0, 0, 100, 100}, 0) = 0",
        "10 GetScanGeometry(ptr) = 0 {pixels 100, bytes 300, lines 100, total 30000}",
        "14 ReadScanData(2, ptr, 1000, ptr) = 0 [got 1000]",
        "14 ReadScanData(0, ptr, 10, null) = -2",
        "27 GetCommandError() = -2",
        "26 InquireParameter(43, 82, ptr) = 0 [value 0]",
    };
    EXPECT_EQ(ReadLines(path), expected);
    std::remove(path.c_str());
}

}  // namespace

#endif  // VOREL_HAVE_SIM
