// ScannerDevice driving the simulated scanner: the set-ups, reading and
// geometry of the device agree with what a real flatbed delivers, and the
// scanner's faults reach the user as the right boxes.
#if VOREL_HAVE_SIM
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "device/scanner_device.h"
#include "imaging/dib_format.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "simulated_library.h"

namespace {

class DeviceWithSimulator : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables) unsetenv(name);
        ResetSimulator();
        SetScannerLibraryForTesting(&SimulatedScannerLibrary());
        platform::SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned) {
            boxes.push_back(text);
            return platform::kAnswerOk;
        });
        char folder[] = "/tmp/vorel_simdevXXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        profileFolder = folder;
        platform::SetProfileFolder(profileFolder);
    }
    void TearDown() override {
        for (const char* name : kVariables) unsetenv(name);
        ResetSimulator();
        SetScannerLibraryForTesting(nullptr);
        platform::SetMessageBoxHook(nullptr);
        std::remove((profileFolder + "/vorelsrc.ini").c_str());
        rmdir(profileFolder.c_str());
    }
    void SetVariable(const char* name, const char* value) {
        setenv(name, value, 1);
        ResetSimulator();
    }

    static constexpr const char* kVariables[] = {"VOREL_SIM_COLOR", "VOREL_SIM_OPEN", "VOREL_SIM_RESET",
                                                 "VOREL_SIM_MATRIX7", "VOREL_SIM_LINES"};
    std::vector<std::string> boxes;
    std::string profileFolder;
    void* const window = reinterpret_cast<void*>(0x2468);
};

TEST_F(DeviceWithSimulator, PreviewIsBlueGreenRedAndFinalScanRedGreenBlue) {
    ScannerDevice device;
    device.SetWindowHandle(window);
    ASSERT_EQ(device.GetKind(), 2);
    ASSERT_TRUE(device.SetupPreview(30));
    ASSERT_EQ(device.GetPixelsPerLine(), 255);
    ASSERT_EQ(device.GetLineCount(), 420);
    ASSERT_EQ(device.GetBytesPerLine(), 765);
    ASSERT_EQ(device.TotalBytes(), 765 * 420);
    std::vector<std::uint8_t> preview(765 * 420);
    ASSERT_EQ(device.ReadData(preview.size(), preview.data()), preview.size());

    const std::uint16_t wholeBed[5] = {30, 0, 0, 2550, 4200};
    ASSERT_TRUE(device.SetupFinalScan(30, 100, 24, wholeBed, 0));
    std::vector<std::uint8_t> final(765 * 420);
    ASSERT_EQ(device.ReadData(final.size(), final.data()), final.size());

    // The preview comes without the tone map, which it applies itself.
    const std::uint8_t* levels = device.PreviewLevels();
    int coloured = 0;
    for (std::size_t p = 0; p < preview.size(); p += 3) {
        ASSERT_EQ(levels[preview[p]], final[p + 2]) << "pixel " << p / 3 << ": preview blue is the final scan's third byte";
        ASSERT_EQ(levels[preview[p + 1]], final[p + 1]) << "pixel " << p / 3;
        ASSERT_EQ(levels[preview[p + 2]], final[p]) << "pixel " << p / 3;
        coloured += preview[p] != preview[p + 2];
    }
    EXPECT_GT(coloured, 100) << "the page has colour, so the order is really tested";
}

TEST_F(DeviceWithSimulator, ReadImageToDIBPlacesTheStreamBottomUp) {
    // 101 pixels of 8 bits at 100 dpi: rows of 101 bytes, stride 104.
    const std::uint16_t scanWindow[5] = {100, 300, 300, 303, 600};
    ScannerDevice raw, rows;
    raw.SetWindowHandle(window);
    rows.SetWindowHandle(window);
    ASSERT_TRUE(raw.SetupFinalScan(100, 100, 8, scanWindow, 0));
    const int bytesPerLine = raw.GetBytesPerLine(), lines = raw.GetLineCount();
    ASSERT_EQ(bytesPerLine, 101);
    ASSERT_GT(lines, 100);
    std::vector<std::uint8_t> stream(std::size_t(bytesPerLine) * lines);
    ASSERT_EQ(raw.ReadData(stream.size(), stream.data()), stream.size());

    ASSERT_TRUE(rows.SetupFinalScan(100, 100, 8, scanWindow, 0));
    std::vector<std::uint8_t> dib(std::size_t(RowStride(bytesPerLine)) * lines, 0xEE);
    ASSERT_EQ(rows.ReadImageToDIB(bytesPerLine, lines, dib.data(), dib.size(), true), dib.size());
    for (int line = 0; line < lines; ++line)
        for (int i = 0; i < bytesPerLine; ++i)
            ASSERT_EQ(dib[std::size_t(104) * (lines - 1 - line) + i], stream[std::size_t(bytesPerLine) * line + i])
                << "line " << line << " byte " << i;
    EXPECT_EQ(rows.GetBytesPerLine(), 101) << "from the set-up's geometry once reading began";
    EXPECT_EQ(rows.GetPhysicalWidth(), 0);
}

TEST_F(DeviceWithSimulator, ScannerWithoutColourPreviewsGrey) {
    SetVariable("VOREL_SIM_COLOR", "0");
    ScannerDevice device;
    device.SetWindowHandle(window);
    EXPECT_EQ(device.GetKind(), 1);
    ASSERT_TRUE(device.SetupPreview(30));
    EXPECT_EQ(device.TotalBytes(), 765 * 420) << "three bytes a pixel for the preview buffer";
    std::vector<std::uint8_t> preview(765 * 420);
    EXPECT_EQ(device.ReadData(preview.size(), preview.data()), 255u * 420) << "the scanner sends one byte a pixel";
}

TEST_F(DeviceWithSimulator, MatrixSevenRefusedStillGivesBothOrders) {
    SetVariable("VOREL_SIM_MATRIX7", "0");
    ScannerDevice device;
    device.SetWindowHandle(window);
    ASSERT_EQ(device.GetKind(), 2);
    const std::uint16_t strip[5] = {30, 0, 0, 2550, 600};
    ASSERT_TRUE(device.SetupFinalScan(30, 100, 24, strip, 0));
    std::vector<std::uint8_t> rgb(765 * 60), bgr(765 * 60);
    ASSERT_EQ(device.ReadData(rgb.size(), rgb.data()), rgb.size());
    ASSERT_TRUE(device.SetupFinalScan(30, 100, 24, strip, 0));
    device.LoadColourMatrix(false);
    ASSERT_EQ(device.ReadData(bgr.size(), bgr.data()), bgr.size());
    for (std::size_t p = 0; p < rgb.size(); p += 3) ASSERT_EQ(rgb[p], bgr[p + 2]) << "pixel " << p / 3;
}

TEST_F(DeviceWithSimulator, FaultsShowTheirBoxes) {
    const struct {
        const char* variable;
        const char* value;
        const char* id;
    } cases[] = {{"VOREL_SIM_OPEN", "-10", "  [107]"}, {"VOREL_SIM_OPEN", "-2", "  [106]"},
                 {"VOREL_SIM_RESET", "4", "  [107]"}};
    for (const auto& c : cases) {
        for (const char* name : kVariables) unsetenv(name);
        SetVariable(c.variable, c.value);
        boxes.clear();
        ScannerDevice device;
        device.SetWindowHandle(window);
        EXPECT_EQ(device.GetKind(), 0) << c.variable << "=" << c.value;
        ASSERT_EQ(boxes.size(), 1u) << c.variable << "=" << c.value;
        EXPECT_NE(boxes[0].find(c.id), std::string::npos) << boxes[0];
    }
}

}  // namespace
#endif
