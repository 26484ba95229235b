// The simulated scanner's commands at their edges: reads that run past the
// end or restart, windows off the bed or too large for the 16-bit
// geometry, refused values and pointers, commands before the scanner is
// open, and the status GetCommandError keeps until the next command.
#if VOREL_HAVE_SIM

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "simulator_test_support.h"

namespace {

using simtest::SimulatorTest;
using simtest::Window;

const ScannerLibrary& lib = SimulatedScannerLibrary();

// ---------------------------------------------------------------------------
// Reading

TEST_F(SimulatorTest, ReadPastTheEndReturnsWhatIsLeftThenNothing) {
    ASSERT_EQ(SetUpScan(5, 30, {0, 0, 2550, 4200}), 0);
    const std::int32_t total = Geometry().totalBytes;
    ASSERT_EQ(total, 255 * 3 * 420);
    std::vector<std::uint8_t> buffer(total + 1000, 0xA5);
    std::int32_t got = -1;
    ASSERT_EQ(lib.ReadScanData(2, buffer.data(), total + 1000, &got), 0);
    EXPECT_EQ(got, total) << "one read asking for more than the scan holds";
    EXPECT_EQ(buffer[total], 0xA5) << "nothing written past the data";
    for (int again = 0; again < 2; ++again) {
        got = -1;
        EXPECT_EQ(lib.ReadScanData(0, buffer.data(), 1000, &got), 0);
        EXPECT_EQ(got, 0) << "read " << again << " after the end";
    }
}

TEST_F(SimulatorTest, ModeTwoRestartsTheScanFromItsFirstByte) {
    ASSERT_EQ(SetUpScan(4, 100, {0, 0, 2550, 4200}), 0);
    std::vector<std::uint8_t> first(1000), more(500), restarted(1000);
    std::int32_t got = 0;
    ASSERT_EQ(lib.ReadScanData(2, first.data(), 1000, &got), 0);
    ASSERT_EQ(lib.ReadScanData(0, more.data(), 500, &got), 0);
    ASSERT_EQ(lib.ReadScanData(2, restarted.data(), 1000, &got), 0);
    EXPECT_EQ(restarted, first);

    // A change of set-up abandons the scan: the next read starts over.
    ASSERT_EQ(lib.ReadScanData(0, more.data(), 500, &got), 0);
    ASSERT_EQ(lib.SetParameter(22, 0), 0);
    ASSERT_EQ(lib.ReadScanData(0, restarted.data(), 1000, &got), 0);
    EXPECT_EQ(restarted, first) << "first read after a set-up change";
}

TEST_F(SimulatorTest, ReadOfNothingAndBadReadArguments) {
    ASSERT_EQ(SetUpScan(4, 30, {0, 0, 2550, 4200}), 0);
    std::int32_t got = -1;
    EXPECT_EQ(lib.ReadScanData(2, nullptr, 0, &got), 0) << "zero bytes need no buffer";
    EXPECT_EQ(got, 0);
    std::uint8_t byte = 0;
    got = -1;
    EXPECT_NE(lib.ReadScanData(2, &byte, -5, &got), 0) << "negative count";
    EXPECT_EQ(got, 0);
    got = -1;
    EXPECT_NE(lib.ReadScanData(1, &byte, 1, &got), 0) << "mode 1";
    EXPECT_EQ(got, 0);
}

// ---------------------------------------------------------------------------
// Windows

struct OversizeCase {
    std::int16_t dataType;
    int resolution;
    int scaling;
    Window window;
};

void PrintTo(const OversizeCase& c, std::ostream* out) {
    *out << "type " << c.dataType << ", " << c.resolution << " dpi, " << c.scaling << " %, window " << c.window.left
         << ", " << c.window.top << ", " << c.window.width << " x " << c.window.height;
}

class SimulatorOversizeTest : public SimulatorTest, public ::testing::WithParamInterface<OversizeCase> {};

TEST_P(SimulatorOversizeTest, TooLargeWindowIsRefusedAndCutToTheLargestThatFits) {
    const OversizeCase& c = GetParam();
    EXPECT_NE(SetUpScan(c.dataType, c.resolution, c.window, c.scaling), 0) << "SetScanWindow";
    EXPECT_NE(lib.GetCommandError(), 0) << "GetCommandError after the window";

    const ScanGeometry geometry = Geometry();
    const int rate = c.resolution * c.scaling / 100;
    const int perCell = (rate + 299) / 300;  // most dots one more cell could add
    const int maxPixels = c.dataType == 5 ? 32767 / 3 : 32767;
    const int wantedPixels = static_cast<int>(std::int64_t{c.window.width} * rate / 300);
    const int wantedLines = static_cast<int>(std::int64_t{c.window.height} * rate / 300);
    EXPECT_GT(geometry.pixelsPerLine, 0);
    EXPECT_LE(geometry.pixelsPerLine, maxPixels);
    EXPECT_GT(geometry.bytesPerLine, 0);
    EXPECT_GT(geometry.lines, 0);
    if (wantedPixels > maxPixels) {
        EXPECT_GT(geometry.pixelsPerLine + perCell, maxPixels) << "width cut further than needed";
    } else {
        EXPECT_EQ(geometry.pixelsPerLine, wantedPixels) << "width cut though it fitted";
    }
    if (wantedLines > 32767) {
        EXPECT_GT(geometry.lines + perCell, 32767) << "height cut further than needed";
    } else {
        EXPECT_EQ(geometry.lines, wantedLines) << "height cut though it fitted";
    }
    EXPECT_EQ(geometry.totalBytes, std::int64_t{geometry.bytesPerLine} * geometry.lines);
    EXPECT_EQ(Inquire(51, 82), geometry.pixelsPerLine);
    EXPECT_EQ(Inquire(52, 82), geometry.bytesPerLine);
    EXPECT_EQ(Inquire(53, 82), geometry.lines);
    EXPECT_EQ(lib.GetCommandError(), 0) << "cleared by the accepted inquiries";

    if (geometry.totalBytes <= 4 * 1024 * 1024) {
        EXPECT_EQ(static_cast<std::int64_t>(ReadAll(60000).size()), std::int64_t{geometry.totalBytes})
            << "bytes delivered from the cut window";
    }
}

INSTANTIATE_TEST_SUITE_P(
    WidthHeightOrBoth, SimulatorOversizeTest,
    ::testing::Values(OversizeCase{5, 2400, 100, {0, 0, 2550, 3}},     // colour line too long
                      OversizeCase{5, 1200, 400, {0, 0, 2550, 4200}},  // both
                      OversizeCase{4, 2400, 200, {0, 0, 2550, 2}},     // grey line too long
                      OversizeCase{4, 2400, 100, {0, 0, 5, 4200}},     // too many lines
                      OversizeCase{0, 2400, 400, {0, 0, 2550, 4200}},  // bi-level, both
                      OversizeCase{5, 2399, 100, {7, 11, 2500, 5}}));  // a rate that does not divide evenly

TEST_F(SimulatorTest, WindowOffTheBedIsRefusedAndClippedToIt) {
    EXPECT_NE(SetUpScan(4, 300, {2500, 4100, 200, 200}), 0) << "window reaching past the bed's corner";
    EXPECT_NE(lib.GetCommandError(), 0);
    ScanGeometry geometry = Geometry();
    EXPECT_EQ(geometry.pixelsPerLine, 50);
    EXPECT_EQ(geometry.lines, 100);
    EXPECT_EQ(ReadAll(60000).size(), 5000u);

    EXPECT_NE(SetUpScan(4, 300, {3000, 0, 100, 100}), 0) << "window starting beyond the bed";
    geometry = Geometry();
    EXPECT_EQ(geometry.pixelsPerLine, 0);
    EXPECT_EQ(geometry.totalBytes, 0);
    EXPECT_EQ(ReadAll(60000).size(), 0u);
}

TEST_F(SimulatorTest, EmptyWindowIsReportedAndDeliversNothing) {
    for (const Window& window : {Window{0, 0, 0, 4200}, Window{0, 0, 2550, 0}, Window{10, 10, 5, 5}}) {
        // 5 cells at 30 dpi are half a pixel.
        EXPECT_NE(SetUpScan(5, 30, window), 0) << "window " << window.width << " x " << window.height;
        EXPECT_NE(lib.GetCommandError(), 0);
        EXPECT_EQ(Geometry().totalBytes, 0);
        EXPECT_EQ(ReadAll(1000).size(), 0u);
    }
}

TEST_F(SimulatorTest, WindowWithABadResolutionChangesNothing) {
    ASSERT_EQ(SetUpScan(4, 300, {0, 0, 300, 300}), 0);
    for (int resolution : {0, 5, 2401, 65535}) {
        EXPECT_NE(SetWindow(resolution, {0, 0, 600, 600}), 0) << "resolution " << resolution;
        EXPECT_EQ(Geometry().pixelsPerLine, 300) << "after resolution " << resolution;
    }
    std::uint16_t record[5] = {300, 0, 0, 600, 600};
    EXPECT_NE(lib.SetScanWindow(record, 1), 0) << "second argument not 0";
    EXPECT_EQ(Geometry().pixelsPerLine, 300);
}

// ---------------------------------------------------------------------------
// Refusals and the command status

struct Refusal {
    const char* what;
    std::function<std::int16_t()> command;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.what; }

class SimulatorRefusalTest : public SimulatorTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SimulatorRefusalTest, IsReportedByStatusAndCommandErrorUntilTheNextAcceptedCommand) {
    ASSERT_EQ(SetUpScan(4, 150, {0, 0, 1500, 1500}), 0);
    const ScanGeometry before = Geometry();
    const std::int16_t status = GetParam().command();
    EXPECT_NE(status, 0) << GetParam().what;
    EXPECT_EQ(lib.GetCommandError(), status) << GetParam().what;
    EXPECT_EQ(lib.GetCommandError(), status) << "GetCommandError leaves the status alone";
    const ScanGeometry after = Geometry();
    EXPECT_EQ(lib.GetCommandError(), 0) << "cleared by GetScanGeometry";
    EXPECT_EQ(after.pixelsPerLine, before.pixelsPerLine) << GetParam().what << " changed the set-up";
    EXPECT_EQ(after.bytesPerLine, before.bytesPerLine) << GetParam().what << " changed the set-up";
    EXPECT_EQ(after.lines, before.lines) << GetParam().what << " changed the set-up";
}

std::uint8_t gBuffer[512];
std::int16_t gLength;
std::int32_t gGot;
std::int16_t gValue;

INSTANTIATE_TEST_SUITE_P(
    ValuesAndPointers, SimulatorRefusalTest,
    ::testing::Values(
        Refusal{"unknown parameter code", [] { return lib.SetParameter(99, 0); }},
        Refusal{"data type 3", [] { return lib.SetParameter(25, 3); }},
        Refusal{"data width 16", [] { return lib.SetParameter(26, 16); }},
        Refusal{"invert 2", [] { return lib.SetParameter(22, 2); }},
        Refusal{"resolution 0 by code 8", [] { return lib.SetParameter(8, 0); }},
        Refusal{"resolution 5000 by code 8", [] { return lib.SetParameter(8, 5000); }},
        Refusal{"tone map chosen before any was sent", [] { return lib.SetParameter(28, -1); }},
        Refusal{"downloaded matrix chosen before any was sent", [] { return lib.SetParameter(36, -1); }},
        Refusal{"matrix 5", [] { return lib.SetParameter(36, 5); }},
        Refusal{"SetScanResolution 0", [] { return lib.SetScanResolution(0, 0); }},
        Refusal{"SetScanResolution 3000", [] { return lib.SetScanResolution(3000, 3000); }},
        Refusal{"SetScaling 0", [] { return lib.SetScaling(0, 0); }},
        Refusal{"SetScaling 1000", [] { return lib.SetScaling(1000, 1000); }},
        Refusal{"upload of the tone map", [] { return lib.UploadBlock(1, gBuffer, 256, &gLength); }},
        Refusal{"block type 3", [] { return lib.DownloadBlock(3, gBuffer); }},
        Refusal{"inquiry 18 in form 82", [] { return lib.InquireParameter(18, 82, &gValue); }},
        Refusal{"inquiry 51 in form 72", [] { return lib.InquireParameter(51, 72, &gValue); }},
        Refusal{"unknown inquiry", [] { return lib.InquireParameter(99, 82, &gValue); }},
        Refusal{"OpenScanner flag 5", [] { return lib.OpenScanner(1, 5); }},
        Refusal{"null geometry", [] { return lib.GetScanGeometry(nullptr); }},
        Refusal{"null window", [] { return lib.SetScanWindow(nullptr, 0); }},
        Refusal{"null tone map", [] { return lib.DownloadBlock(1, nullptr); }},
        Refusal{"null matrix", [] { return lib.DownloadBlock(2, nullptr); }},
        Refusal{"null upload buffer", [] { return lib.UploadBlock(2, nullptr, 9, &gLength); }},
        Refusal{"null upload length", [] { return lib.UploadBlock(2, gBuffer, 9, nullptr); }},
        Refusal{"null inquiry value", [] { return lib.InquireParameter(18, 72, nullptr); }},
        Refusal{"null read buffer", [] { return lib.ReadScanData(2, nullptr, 10, &gGot); }},
        Refusal{"null read count", [] { return lib.ReadScanData(2, gBuffer, 10, nullptr); }}));

TEST_F(SimulatorTest, RefusedCommandsLeaveTheirOutputsAlone) {
    std::array<std::uint8_t, 9> matrix;
    matrix.fill(0xEE);
    std::int16_t length = 0x1234;
    EXPECT_NE(lib.UploadBlock(2, matrix.data(), 8, &length), 0) << "buffer shorter than the matrix";
    EXPECT_EQ(matrix[0], 0xEE);
    EXPECT_EQ(matrix[8], 0xEE);
    EXPECT_EQ(length, 0x1234);

    std::int16_t value = 0x1234;
    EXPECT_NE(lib.InquireParameter(99, 82, &value), 0);
    EXPECT_EQ(value, 0x1234);

    std::int32_t got = 0x5678;
    EXPECT_NE(lib.ReadScanData(2, nullptr, 10, &got), 0);
    EXPECT_EQ(got, 0) << "a refused read reports no bytes";
}

TEST_F(SimulatorTest, CommandsNeedAnOpenScanner) {
    ASSERT_EQ(lib.OpenScanner(1, 0), 0) << "release";
    std::int16_t value = 0x1234;
    ScanGeometry geometry{};
    geometry.lines = 0x1234;
    std::uint8_t buffer[16] = {};
    std::int32_t got = -1;
    const std::vector<std::pair<const char*, std::function<std::int16_t()>>> commands = {
        {"ResetScanner", [] { return lib.ResetScanner(); }},
        {"SetParameter", [] { return lib.SetParameter(25, 4); }},
        {"InquireParameter", [&] { return lib.InquireParameter(18, 72, &value); }},
        {"GetScanGeometry", [&] { return lib.GetScanGeometry(&geometry); }},
        {"ReadScanData", [&] { return lib.ReadScanData(2, buffer, 16, &got); }},
        {"SetScanResolution", [] { return lib.SetScanResolution(300, 300); }},
    };
    for (const auto& [name, command] : commands) {
        EXPECT_NE(command(), 0) << name << " on a released scanner";
        EXPECT_NE(lib.GetCommandError(), 0) << name;
    }
    EXPECT_EQ(value, 0x1234);
    EXPECT_EQ(geometry.lines, 0x1234);
    EXPECT_EQ(got, 0);

    ASSERT_EQ(lib.OpenScanner(1, 1), 0) << "open again";
    EXPECT_EQ(lib.InquireParameter(18, 72, &value), 0);
    EXPECT_EQ(value, 2550);
}

}  // namespace

#endif  // VOREL_HAVE_SIM
