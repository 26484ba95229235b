// ScannerDevice against a scripted scanner library: a table of static
// functions that follow a script (what the scanner refuses, what it
// answers, how many bytes each read delivers) and log every call, so each
// test checks the conversation the device has with the scanner.
#include "device/scanner_device.h"
#include "imaging/dib_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <deque>
#include <fstream>
#include <set>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "device/scanner_library.h"
#include "platform/debug_output.h"
#include "platform/global_memory.h"
#include "platform/message_box.h"
#include "platform/profile.h"

namespace {

// ---- The scripted library -------------------------------------------------

struct Script {
    std::int16_t openStatus = 0;
    std::int16_t resetStatus = 0;
    // SetParameter(code, value) pairs the scanner rejects (status 1 and a
    // command error until the next command).
    std::set<std::pair<int, int>> refused;
    std::map<int, std::int16_t> inquiries;  // inquiry code -> value
    ScanGeometry geometry{};
    std::uint8_t matrix[9] = {11, 12, 13, 21, 22, 23, 31, 32, 33};
    // Bytes left in the scan; reads deliver from a stream whose byte k is k % 251.
    std::int64_t bytesLeft = 1 << 30;
    // Optional cap on what each successive read delivers.
    std::deque<std::int32_t> readCaps;
};

struct Recorder {
    Script script;
    std::vector<std::string> log;
    bool commandError = false;
    std::int64_t streamPosition = 0;
    std::vector<std::uint8_t> toneMap;
    std::vector<std::vector<std::uint8_t>> matrixDownloads;
    std::vector<std::uint16_t> window;
};
Recorder rec;

template <typename... Args>
void Log(const char* name, Args... args) {
    std::ostringstream line;
    int index = 0;
    line << name << "(";
    ((line << (index++ ? "," : "") << args), ...);
    line << ")";
    rec.log.push_back(line.str());
}

std::int16_t VOREL_API FakeOpenScanner(std::uint16_t window, std::int16_t flag) {
    Log("OpenScanner", window, flag);
    rec.commandError = false;
    return rec.script.openStatus;
}
std::int16_t VOREL_API FakeDownloadBlock(std::int16_t type, void* buffer) {
    Log("DownloadBlock", type);
    rec.commandError = false;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (type == 1) rec.toneMap.assign(bytes, bytes + 256);
    if (type == 2) {
        rec.matrixDownloads.emplace_back(bytes, bytes + 9);
        std::copy(bytes, bytes + 9, rec.script.matrix);
    }
    return 0;
}
std::int16_t VOREL_API FakeGetScanGeometry(ScanGeometry* geometry) {
    Log("GetScanGeometry");
    rec.commandError = false;
    *geometry = rec.script.geometry;
    return 0;
}
std::int16_t VOREL_API FakeResetScanner() {
    Log("ResetScanner");
    rec.commandError = false;
    return rec.script.resetStatus;
}
std::int16_t VOREL_API FakeReadScanData(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got) {
    Log("ReadScanData", mode, count);
    rec.commandError = false;
    std::int64_t n = std::min<std::int64_t>(count, rec.script.bytesLeft);
    if (!rec.script.readCaps.empty()) {
        n = std::min<std::int64_t>(n, rec.script.readCaps.front());
        rec.script.readCaps.pop_front();
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::int64_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((rec.streamPosition + i) % 251);
    rec.streamPosition += n;
    rec.script.bytesLeft -= n;
    *got = static_cast<std::int32_t>(n);
    return 0;
}
std::int16_t VOREL_API FakeSetScanResolution(std::int16_t x, std::int16_t y) {
    Log("SetScanResolution", x, y);
    rec.commandError = false;
    return 0;
}
std::int16_t VOREL_API FakeSetScaling(std::int16_t x, std::int16_t y) {
    Log("SetScaling", x, y);
    rec.commandError = false;
    return 0;
}
std::int16_t VOREL_API FakeSetScanWindow(std::uint16_t* window, std::int16_t zero) {
    Log("SetScanWindow", zero);
    rec.commandError = false;
    rec.window.assign(window, window + 5);
    return 0;
}
std::int16_t VOREL_API FakeUploadBlock(std::int16_t type, void* buffer, std::int16_t maxLength, std::int16_t* length) {
    Log("UploadBlock", type, maxLength);
    rec.commandError = false;
    if (type == 2) std::copy(rec.script.matrix, rec.script.matrix + 9, static_cast<std::uint8_t*>(buffer));
    *length = 9;
    return 0;
}
std::int16_t VOREL_API FakeInquireParameter(std::int16_t code, std::int16_t form, std::int16_t* value) {
    Log("InquireParameter", code, form);
    rec.commandError = false;
    auto it = rec.script.inquiries.find(code);
    if (it != rec.script.inquiries.end()) *value = it->second;
    return 0;
}
std::int16_t VOREL_API FakeGetCommandError() {
    Log("GetCommandError");
    return rec.commandError ? 1 : 0;
}
std::int16_t VOREL_API FakeSetParameter(std::int16_t code, std::int16_t value) {
    Log("SetParameter", code, value);
    rec.commandError = rec.script.refused.count({code, value}) > 0;
    return rec.commandError ? 1 : 0;
}

const ScannerLibrary kFakeLibrary = {
    FakeOpenScanner,      FakeDownloadBlock,  FakeGetScanGeometry, FakeResetScanner,
    FakeReadScanData,     FakeSetScanResolution, FakeSetScaling,   FakeSetScanWindow,
    FakeUploadBlock,      FakeInquireParameter, FakeGetCommandError, FakeSetParameter,
};

std::vector<std::string> debugTexts;
void CaptureDebugOutput(const char* text) { debugTexts.emplace_back(text); }

std::string Joined(const std::vector<std::string>& log) {
    std::string all;
    for (const auto& line : log) all += line + " ";
    return all;
}

int Count(const std::vector<std::string>& log, const std::string& prefix) {
    int n = 0;
    for (const auto& line : log) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

void* const kWindow = reinterpret_cast<void*>(0x12345678);

class ScannerDeviceTest : public testing::Test {
protected:
    void SetUp() override {
        rec = Recorder{};
        debugTexts.clear();
        boxes.clear();
        SetScannerLibraryForTesting(&kFakeLibrary);
        platform::SetDebugOutputHook(CaptureDebugOutput);
        platform::SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned) {
            boxes.push_back(text);
            return platform::kAnswerOk;
        });
        char folder[] = "/tmp/vorel_deviceXXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        profileFolder = folder;
        platform::SetProfileFolder(profileFolder);
        blocksBefore = platform::GlobalBlocksOutstanding();
    }
    void TearDown() override {
        SetScannerLibraryForTesting(nullptr);
        platform::SetDebugOutputHook(nullptr);
        platform::SetMessageBoxHook(nullptr);
        platform::FailGlobalAllocationsAfter(-1);
        std::remove((profileFolder + "/vorelsrc.ini").c_str());
        rmdir(profileFolder.c_str());
    }

    // A device that is open and probed, with the log cleared.
    void OpenDevice(ScannerDevice& device) {
        device.SetWindowHandle(kWindow);
        ASSERT_NE(device.GetKind(), 0);
        rec.log.clear();
    }

    std::vector<std::string> boxes;
    std::string profileFolder;
    long blocksBefore = 0;
};

// ---- Opening and probing --------------------------------------------------

TEST_F(ScannerDeviceTest, ColourProbeOpensResetsAndAsksForColour) {
    ScannerDevice device;
    device.SetWindowHandle(kWindow);
    EXPECT_EQ(device.GetKind(), 2);
    EXPECT_EQ(Joined(rec.log), "OpenScanner(22136,1) ResetScanner() SetParameter(25,5) GetCommandError() ")
        << "OpenScanner gets the low 16 bits of the window (0x5678)";
    rec.log.clear();
    EXPECT_EQ(device.GetKind(), 2);
    EXPECT_TRUE(rec.log.empty()) << "the kind is cached once open: " << Joined(rec.log);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ScannerDeviceTest, ScannerRefusingColourIsKindOne) {
    rec.script.refused = {{25, 5}};
    ScannerDevice device;
    device.SetWindowHandle(kWindow);
    EXPECT_EQ(device.GetKind(), 1);
    EXPECT_EQ(device.kind(), 1);
}

TEST_F(ScannerDeviceTest, NoWindowHandleFailsSilently) {
    ScannerDevice device;
    EXPECT_FALSE(device.Open());
    EXPECT_EQ(device.GetKind(), 0);
    EXPECT_TRUE(rec.log.empty()) << Joined(rec.log);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ScannerDeviceTest, OpenFailureShowsBoxAndIsRetried) {
    const struct {
        std::int16_t status;
        const char* text;
    } cases[] = {
        {-10, "Failure to communicate with scanner. Be sure scanner is on and properly connected.  [107]"},
        {-3,
         "Unable to Open scanner. Make sure scanner drivers are installed correctly, and no other scanning "
         "applications are running.  [106]"},
        {5,
         "Unable to Open scanner. Make sure scanner drivers are installed correctly, and no other scanning "
         "applications are running.  [106]"},
    };
    for (const auto& c : cases) {
        rec = Recorder{};
        boxes.clear();
        rec.script.openStatus = c.status;
        ScannerDevice device;
        device.SetWindowHandle(kWindow);
        EXPECT_EQ(device.GetKind(), 0) << "status " << c.status;
        EXPECT_EQ(device.GetKind(), 0) << "status " << c.status;
        EXPECT_EQ(Count(rec.log, "OpenScanner"), 2) << "a failed open is not cached, status " << c.status;
        ASSERT_EQ(boxes.size(), 2u) << "one box for each attempt, status " << c.status;
        EXPECT_EQ(boxes[0], c.text);
        EXPECT_FALSE(device.SetupPreview(30)) << "no set-up without a scanner";
    }
}

TEST_F(ScannerDeviceTest, ResetFailureLeavesOpenDeviceWithKindZero) {
    rec.script.resetStatus = 3;
    ScannerDevice device;
    device.SetWindowHandle(kWindow);
    EXPECT_EQ(device.GetKind(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Failure to communicate with scanner. Be sure scanner is on and properly connected.  [107]");
    rec.log.clear();
    EXPECT_EQ(device.GetKind(), 0);
    EXPECT_FALSE(device.SetupPreview(30));
    EXPECT_FALSE(device.SetupFinalScan(300, 100, 24, nullptr, 0));
    EXPECT_TRUE(rec.log.empty()) << "kind 0 is kept until the device goes: " << Joined(rec.log);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(ScannerDeviceTest, MissingLibraryFailsLikeUnopenableScanner) {
    // The native build loads no library by ordinal: the stand-ins answer.
    SetScannerLibraryForTesting(nullptr);
    UnloadScannerLibrary();
    {
        ScannerDevice device;
        device.SetWindowHandle(kWindow);
        EXPECT_EQ(device.GetKind(), 0);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find("  [106]"), std::string::npos) << boxes[0];
        EXPECT_FALSE(device.IsFeederEnabled());
        EXPECT_EQ(device.GetPhysicalWidth(), 0);
        std::uint8_t buffer[16] = {};
        EXPECT_EQ(device.ReadData(sizeof buffer, buffer), 0u);
    }
    UnloadScannerLibrary();
}

TEST_F(ScannerDeviceTest, DeviceThatNeverOpenedDoesNotLoadTheLibrary) {
    SetScannerLibraryForTesting(nullptr);
    UnloadScannerLibrary();
    ASSERT_FALSE(ScannerLibraryInUse());
    { ScannerDevice device; }
    EXPECT_FALSE(ScannerLibraryInUse()) << "destruction at unload must not load the library";
    Scanner();
    EXPECT_TRUE(ScannerLibraryInUse());
    UnloadScannerLibrary();
}

// ---- Set-ups ----------------------------------------------------------------

TEST_F(ScannerDeviceTest, ColourPreviewSetUpInOrder) {
    ScannerDevice device;
    OpenDevice(device);
    ASSERT_TRUE(device.SetupPreview(30));
    EXPECT_EQ(Joined(rec.log),
              "ResetScanner() SetScanResolution(30,30) SetParameter(1,0) SetParameter(25,5) GetCommandError() "
              "SetParameter(1,0) SetParameter(36,7) GetCommandError() UploadBlock(2,9) DownloadBlock(2) "
              "SetParameter(28,0) GetScanGeometry() ");
    ASSERT_EQ(rec.matrixDownloads.size(), 1u);
    EXPECT_EQ(rec.matrixDownloads[0], (std::vector<std::uint8_t>{13, 12, 11, 23, 22, 21, 33, 32, 31}))
        << "first and third byte of each row exchanged: blue, green, red";
}

TEST_F(ScannerDeviceTest, GreyPreviewGeometryCountsThreeBytesPerPixel) {
    rec.script.refused = {{25, 5}};
    rec.script.geometry.pixelsPerLine = 255;
    rec.script.geometry.bytesPerLine = 255;
    rec.script.geometry.lines = 420;
    rec.script.geometry.totalBytes = 255 * 420;
    ScannerDevice device;
    OpenDevice(device);
    ASSERT_TRUE(device.SetupPreview(30));
    const std::string log = Joined(rec.log);
    EXPECT_NE(log.find("SetParameter(25,5) GetCommandError() SetParameter(25,4) SetParameter(26,8)"), std::string::npos)
        << log;
    EXPECT_EQ(device.TotalBytes(), 765 * 420);
    std::uint8_t byte;
    device.ReadData(1, &byte);
    EXPECT_EQ(device.GetBytesPerLine(), 765) << "the set-up's geometry, widened to three bytes a pixel";
    EXPECT_EQ(device.GetPixelsPerLine(), 255);
}

TEST_F(ScannerDeviceTest, FinalScanSetUpByDepth) {
    const std::uint16_t window[5] = {300, 10, 20, 2550, 3300};
    const struct {
        std::uint32_t bits;
        const char* dataType;
    } cases[] = {
        {1, "ResetScanner() SetParameter(25,0) DownloadBlock(1)"},
        {8, "ResetScanner() SetParameter(25,4) SetParameter(26,8) DownloadBlock(1)"},
        {24,
         "ResetScanner() SetParameter(25,5) SetParameter(1,0) SetParameter(36,7) GetCommandError() DownloadBlock(1)"},
        {4, "ResetScanner() DownloadBlock(1)"},
    };
    for (const auto& c : cases) {
        ScannerDevice device;
        OpenDevice(device);
        ASSERT_TRUE(device.SetupFinalScan(300, 100, c.bits, window, 1));
        const std::string log = Joined(rec.log);
        EXPECT_EQ(log.rfind(c.dataType, 0), 0u) << c.bits << " bits: " << log;
        EXPECT_NE(log.find("SetParameter(28,-1) SetParameter(22,1) SetScaling(100,100) SetScanResolution(300,300) "
                           "SetScanWindow(0) GetScanGeometry() "),
                  std::string::npos)
            << c.bits << " bits: " << log;
        EXPECT_TRUE(rec.matrixDownloads.empty()) << "red, green, blue: the built-in matrix is used as it is";
        EXPECT_EQ(rec.window, std::vector<std::uint16_t>(window, window + 5));
    }
}

TEST_F(ScannerDeviceTest, RefusedMatrixSevenIsReplacedByDownloadedCopy) {
    rec.script.refused = {{36, 7}};
    ScannerDevice device;
    OpenDevice(device);
    device.LoadColourMatrix(true);
    EXPECT_EQ(Joined(rec.log),
              "SetParameter(1,0) SetParameter(36,7) GetCommandError() SetParameter(36,0) UploadBlock(2,9) "
              "DownloadBlock(2) SetParameter(36,-1) ");
    ASSERT_EQ(rec.matrixDownloads.size(), 1u);
    EXPECT_EQ(rec.matrixDownloads[0], (std::vector<std::uint8_t>{11, 12, 13, 21, 22, 23, 31, 32, 33}))
        << "the copy goes back unchanged";

    rec = Recorder{};
    rec.script.refused = {{36, 7}};
    device.LoadColourMatrix(false);
    ASSERT_EQ(rec.matrixDownloads.size(), 2u);
    EXPECT_EQ(rec.matrixDownloads[1], (std::vector<std::uint8_t>{13, 12, 11, 23, 22, 21, 33, 32, 31}));
}

TEST_F(ScannerDeviceTest, SendResolutionSendsYOnlyWhenXAccepted) {
    ScannerDevice device;
    device.SendResolution(300, 150);
    EXPECT_EQ(Joined(rec.log), "SetParameter(8,300) SetParameter(8,150) ") << "without opening the scanner";
    rec.log.clear();
    rec.script.refused = {{8, 1200}};
    device.SendResolution(1200, 600);
    EXPECT_EQ(Joined(rec.log), "SetParameter(8,1200) ");
}

// ---- Tone map -------------------------------------------------------------

TEST(BuildToneMap, DefaultCurve) {
    std::uint8_t table[256];
    ScannerDevice::BuildToneMap(table, 0, 220, 22 * 0.1);
    const struct {
        int input, output;
    } points[] = {{0, 0},     {1, 8},     {2, 16},    {3, 24},    {7, 56},    {8, 61},    {9, 64},
                  {10, 67},   {16, 83},   {32, 115},  {64, 157},  {128, 216}, {160, 239}, {184, 254},
                  {185, 255}, {220, 255}, {221, 255}, {255, 255}};
    for (const auto& p : points) EXPECT_EQ(table[255 - p.input], p.output) << "input " << p.input;
    for (int byte = 0; byte <= 70; ++byte) EXPECT_EQ(table[byte], 255) << "byte " << byte;
}

TEST(BuildToneMap, UnusualParametersStayInRange) {
    std::uint8_t table[256];
    for (double gamma : {0.0, -1.0, 0.1, 100.0}) {
        ScannerDevice::BuildToneMap(table, 0, 220, gamma);
        EXPECT_EQ(table[255], 0) << "gamma " << gamma;
        EXPECT_EQ(table[0], 255) << "gamma " << gamma;
    }
    ScannerDevice::BuildToneMap(table, 0, 0, 2.2);
    EXPECT_EQ(table[255], 0) << "highlight 0";
    EXPECT_EQ(table[254], 8) << "highlight 0: the near-black limit still applies";
}

TEST_F(ScannerDeviceTest, ToneMapWithDefaultsIsDownloadedAndNoKeyIsAdded) {
    ScannerDevice device;
    device.LoadToneMap(2.2);
    ASSERT_EQ(rec.toneMap.size(), 256u);
    EXPECT_EQ(rec.toneMap[255], 0);
    EXPECT_EQ(rec.toneMap[254], 8);
    EXPECT_EQ(rec.toneMap[253], 16);
    for (int byte = 0; byte <= 70; ++byte) EXPECT_EQ(rec.toneMap[byte], 255) << "byte " << byte;
    EXPECT_EQ(Joined(rec.log), "DownloadBlock(1) SetParameter(28,-1) ");
    EXPECT_EQ(platform::ProfileGetInt("Test", "Highlight", -1), -1);
    EXPECT_EQ(platform::ProfileGetInt("Test", "GammaX10", -1), -1);
}

TEST_F(ScannerDeviceTest, ToneMapFollowsProfileHighlight) {
    platform::ProfileWriteInt("Test", "Highlight", 20);
    ScannerDevice device;
    device.LoadToneMap(2.2);
    ASSERT_EQ(rec.toneMap.size(), 256u);
    EXPECT_EQ(rec.toneMap[255], 0);
    for (int input = 1; input <= 31; ++input)
        EXPECT_EQ(rec.toneMap[255 - input], 8 * input) << "input " << input << ": the near-black limit governs";
    for (int input = 32; input <= 255; ++input) EXPECT_EQ(rec.toneMap[255 - input], 255) << "input " << input;
    EXPECT_EQ(platform::ProfileGetInt("Test", "Highlight", -1), 20);
    EXPECT_EQ(platform::ProfileGetInt("Test", "GammaX10", -1), -1);
}

TEST_F(ScannerDeviceTest, ToneMapGammaFromProfileSurvivesRoundTrip) {
    for (int gammaX10 : {1, 7, 10, 13, 29, 45}) {
        platform::ProfileWriteInt("Test", "GammaX10", gammaX10);
        ScannerDevice device;
        device.LoadToneMap(2.2);
        EXPECT_EQ(platform::ProfileGetInt("Test", "GammaX10", -1), gammaX10) << "stored value must not drift";
    }
    platform::ProfileWriteInt("Test", "GammaX10", 10);
    ScannerDevice device;
    device.LoadToneMap(2.2);
    EXPECT_EQ(rec.toneMap[255 - 100], 115) << "gamma 1.0: 100 / 255 x 65025 / 220 = 115.9";
}

// Settings that are missing, malformed or out of range give the default
// curve and stay in the file exactly as written; good ones are used and kept.
TEST_F(ScannerDeviceTest, BadToneSettingsGiveTheDefaultCurveAndAreNotWrittenBack) {
    std::uint8_t defaults[256];
    ScannerDevice::BuildToneMap(defaults, 0, 220, 2.2);
    std::uint8_t custom[256];
    ScannerDevice::BuildToneMap(custom, 0, 200, 1.8);
    struct Case {
        const char* file;
        const std::uint8_t* curve;
    } cases[] = {
        {"[Test]\nHighlight=220\nGammaX10=abc\n", defaults},
        {"[Test]\nHighlight=220\nGammaX10=0\n", defaults},
        {"[Test]\nHighlight=220\nGammaX10=2.2\n", defaults},
        {"[Test]\nHighlight=220\nGammaX10=101\n", defaults},
        {"[Test]\nHighlight=-5\nGammaX10=22\n", defaults},
        {"[Test]\nHighlight=0\nGammaX10=22\n", defaults},
        {"[Test]\nHighlight=1000\nGammaX10=22\n", defaults},
        {"[Test]\nHighlight=\nGammaX10=99999999999\n", defaults},
        {"[Other]\nHighlight=3\n", defaults},
        {"[Test]\nHighlight= 200 \nGammaX10=18\n", custom},
    };
    const std::string path = profileFolder + "/vorelsrc.ini";
    for (const Case& c : cases) {
        { std::ofstream(path, std::ios::trunc) << c.file; }
        rec = Recorder{};
        ScannerDevice device;
        device.LoadToneMap(2.2);
        ASSERT_EQ(rec.toneMap.size(), 256u) << c.file;
        EXPECT_TRUE(std::equal(rec.toneMap.begin(), rec.toneMap.end(), c.curve)) << c.file;
        std::ifstream in(path);
        std::stringstream after;
        after << in.rdbuf();
        if (c.curve == defaults) {
            EXPECT_EQ(after.str(), c.file) << "the file is left as it was";
        }
    }
    EXPECT_EQ(platform::ProfileGetInt("Test", "Highlight", -1), 200) << "a good value is kept";
}

// ---- Reading --------------------------------------------------------------

TEST_F(ScannerDeviceTest, ReadDataInChunksOfSixtyThousand) {
    ScannerDevice device;
    std::vector<std::uint8_t> buffer(150000);
    EXPECT_EQ(device.ReadData(150000, buffer.data()), 150000u);
    EXPECT_EQ(Joined(rec.log), "ReadScanData(2,60000) ReadScanData(0,60000) ReadScanData(0,30000) ");
    for (std::size_t i = 0; i < buffer.size(); i += 4999) ASSERT_EQ(buffer[i], i % 251) << "byte " << i;
}

TEST_F(ScannerDeviceTest, ShortReadEndsReadData) {
    rec.script.readCaps = {60000, 20000};
    ScannerDevice device;
    std::vector<std::uint8_t> buffer(150000);
    EXPECT_EQ(device.ReadData(150000, buffer.data()), 80000u);
    EXPECT_EQ(Joined(rec.log), "ReadScanData(2,60000) ReadScanData(0,60000) ");
    EXPECT_EQ(buffer[79999], 79999 % 251);
}

// Destination filled with a sentinel so that bytes left unwritten show.
constexpr std::uint8_t kSentinel = 0xEE;

TEST_F(ScannerDeviceTest, ReadImageToDIBPlacesRowsAtStride) {
    const int bytesPerLine = 101, lines = 5, stride = 104;
    for (bool bottomUp : {false, true}) {
        rec = Recorder{};
        ScannerDevice device;
        std::vector<std::uint8_t> dib(stride * lines, kSentinel);
        EXPECT_EQ(device.ReadImageToDIB(bytesPerLine, lines, dib.data(), dib.size(), bottomUp), 520u)
            << "bytes placed count the padding";
        EXPECT_EQ(Joined(rec.log), "ReadScanData(2,505) ");
        for (int line = 0; line < lines; ++line) {
            const int row = bottomUp ? lines - 1 - line : line;
            for (int i = 0; i < bytesPerLine; ++i)
                ASSERT_EQ(dib[row * stride + i], (line * bytesPerLine + i) % 251)
                    << "line " << line << " byte " << i << (bottomUp ? " bottom-up" : " top-down");
            for (int i = bytesPerLine; i < stride; ++i)
                EXPECT_EQ(dib[row * stride + i], 0) << "padding of row " << row;
        }
    }
}

// However little the scanner sends, every byte of the rows ends up either
// scan data or zero: the padding, the rest of a line it stopped in and the
// rows it never reached.
TEST_F(ScannerDeviceTest, ReadImageToDIBWritesEveryByteOfItsRows) {
    const struct {
        int bytesPerLine, lines;
        std::int64_t bytesSent;
    } cases[] = {
        {101, 4, 250},      {101, 4, 0},       {101, 4, 404},   {100, 7, 350},
        {101, 700, 65000},  {100001, 3, 70000}, {100001, 3, 0}, {4, 20000, 50001},
    };
    for (const auto& c : cases) {
        for (bool bottomUp : {false, true}) {
            rec = Recorder{};
            rec.script.bytesLeft = c.bytesSent;
            const std::size_t line = static_cast<std::size_t>(c.bytesPerLine);
            const std::size_t stride = RowStride(static_cast<std::uint32_t>(c.bytesPerLine));
            std::vector<std::uint8_t> expected(stride * c.lines, 0);
            std::size_t reached = 0;
            for (std::size_t k = 0; k < static_cast<std::size_t>(c.lines) && k * line < std::size_t(c.bytesSent); ++k) {
                const std::size_t row = bottomUp ? c.lines - 1 - k : k;
                for (std::size_t j = 0; j < line && k * line + j < std::size_t(c.bytesSent); ++j)
                    expected[row * stride + j] = static_cast<std::uint8_t>((k * line + j) % 251);
                ++reached;
            }
            ScannerDevice device;
            std::vector<std::uint8_t> dib(expected.size(), kSentinel);
            EXPECT_EQ(device.ReadImageToDIB(c.bytesPerLine, c.lines, dib.data(), dib.size(), bottomUp), reached * stride)
                << c.bytesPerLine << " x " << c.lines << ", " << c.bytesSent << " bytes sent";
            EXPECT_TRUE(dib == expected) << c.bytesPerLine << " x " << c.lines << ", " << c.bytesSent
                                         << " bytes sent, " << (bottomUp ? "bottom-up" : "top-down");
        }
    }
}

TEST_F(ScannerDeviceTest, ReadImageToDIBKeepsAskingUntilLineCount) {
    rec.script.bytesLeft = 100;
    ScannerDevice device;
    const int lines = 1300;  // 640 lines per read: three reads
    std::vector<std::uint8_t> dib(100 * lines, kSentinel);
    EXPECT_EQ(device.ReadImageToDIB(100, lines, dib.data(), dib.size(), false), 100u);
    EXPECT_EQ(Count(rec.log, "ReadScanData"), 3) << Joined(rec.log);
}

TEST_F(ScannerDeviceTest, ReadImageToDIBRefusesWhatDoesNotFit) {
    ScannerDevice device;
    std::vector<std::uint8_t> dib(104 * 5, kSentinel);
    const struct {
        int bytesPerLine, lines;
        std::size_t size;
        const char* why;
    } cases[] = {
        {0, 5, dib.size(), "no bytes per line"},
        {-4, 5, dib.size(), "negative bytes per line"},
        {101, 0, dib.size(), "no lines"},
        {101, 5, dib.size() - 1, "destination one byte short"},
        {101, 6, dib.size(), "one line more than the destination holds"},
        {105, 5, dib.size(), "rows wider than the destination's"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(device.ReadImageToDIB(c.bytesPerLine, c.lines, dib.data(), c.size, false), 0u) << c.why;
        EXPECT_EQ(dib, std::vector<std::uint8_t>(104 * 5, kSentinel)) << c.why;
    }
    EXPECT_EQ(Count(rec.log, "ReadScanData"), 0) << "nothing is read: " << Joined(rec.log);
}

TEST_F(ScannerDeviceTest, ReadImageToDIBLinesLongerThanItsBuffer) {
    const int bytesPerLine = 100001, lines = 3;  // stride 100004
    ScannerDevice device;
    std::vector<std::uint8_t> dib(std::size_t(100004) * lines, kSentinel);
    EXPECT_EQ(device.ReadImageToDIB(bytesPerLine, lines, dib.data(), dib.size(), true), 3u * 100004);
    EXPECT_EQ(Joined(rec.log),
              "ReadScanData(2,64000) ReadScanData(0,36001) ReadScanData(0,64000) ReadScanData(0,36001) "
              "ReadScanData(0,64000) ReadScanData(0,36001) ");
    EXPECT_EQ(dib[100004 * 2 + 100000], 100000 % 251) << "last byte of the first line, in the last row";
    EXPECT_EQ(dib[100004 * 2 + 100001], 0) << "padding";
    EXPECT_EQ(dib[0], (2 * 100001) % 251) << "third line in the first row";

    // The scan ending inside a line ends the reading.
    rec = Recorder{};
    rec.script.bytesLeft = 70000;
    std::fill(dib.begin(), dib.end(), kSentinel);
    EXPECT_EQ(device.ReadImageToDIB(bytesPerLine, lines, dib.data(), dib.size(), false), 100004u);
    EXPECT_EQ(Count(rec.log, "ReadScanData"), 4) << "one read per line after the end: " << Joined(rec.log);
}

TEST_F(ScannerDeviceTest, ReadImageToDIBReportsNullAndMissingBuffer) {
    ScannerDevice device;
    EXPECT_EQ(device.ReadImageToDIB(101, 5, nullptr, 1000, false), 0u);
    ASSERT_EQ(debugTexts.size(), 1u);
    EXPECT_EQ(debugTexts[0], "ReadImageToDIB: Null pointer passed");

    // Only bottom-up rows go through the block; top-down ones need none.
    std::vector<std::uint8_t> dib(104 * 5, kSentinel);
    platform::FailGlobalAllocationsAfter(0);
    EXPECT_EQ(device.ReadImageToDIB(101, 5, dib.data(), dib.size(), true), 0u);
    ASSERT_EQ(debugTexts.size(), 2u);
    EXPECT_EQ(debugTexts[1], "ReadImageToDIB: Can't alloc temp buffer");
    EXPECT_TRUE(rec.log.empty()) << Joined(rec.log);
    EXPECT_EQ(dib, std::vector<std::uint8_t>(dib.size(), 0)) << "the rows hold zeros, not what was there";
    EXPECT_EQ(device.ReadImageToDIB(101, 5, dib.data(), dib.size(), false), 520u);
    platform::FailGlobalAllocationsAfter(-1);
}

// ---- Geometry, bed size, feeder, end of scan --------------------------------

TEST_F(ScannerDeviceTest, GeometryFromInquiriesUntilFirstReadThenFromSetUp) {
    rec.script.inquiries = {{51, 850}, {52, 2550}, {53, 1100}, {18, 2550}, {19, 4200}};
    rec.script.geometry.pixelsPerLine = 851;
    rec.script.geometry.bytesPerLine = 2553;
    rec.script.geometry.lines = -2;  // returned sign-extended
    ScannerDevice device;
    OpenDevice(device);
    const std::uint16_t window[5] = {100, 0, 0, 2550, 3300};
    device.SetupFinalScan(100, 100, 24, window, 0);
    rec.log.clear();

    EXPECT_EQ(device.GetPixelsPerLine(), 850);
    EXPECT_EQ(device.GetBytesPerLine(), 2550);
    EXPECT_EQ(device.GetLineCount(), 1100);
    EXPECT_EQ(device.GetPhysicalWidth(), 2550);
    EXPECT_EQ(device.GetPhysicalHeight(), 4200);
    EXPECT_EQ(Joined(rec.log),
              "InquireParameter(51,82) InquireParameter(52,82) InquireParameter(53,82) InquireParameter(18,72) "
              "InquireParameter(19,72) ");

    std::uint8_t byte;
    device.ReadData(1, &byte);
    rec.log.clear();
    EXPECT_EQ(device.GetPixelsPerLine(), 851);
    EXPECT_EQ(device.GetBytesPerLine(), 2553);
    EXPECT_EQ(device.GetLineCount(), -2);
    EXPECT_EQ(device.GetPhysicalWidth(), 0) << "no bed size while reading";
    EXPECT_EQ(device.GetPhysicalHeight(), 0);
    EXPECT_TRUE(rec.log.empty()) << Joined(rec.log);

    device.SetupPreview(30);
    EXPECT_EQ(device.GetBytesPerLine(), 2550) << "a new set-up asks the scanner again";
}

TEST_F(ScannerDeviceTest, FailedInquiryAnswersZero) {
    ScannerDevice device;
    EXPECT_EQ(device.GetBytesPerLine(), 0) << "the value is preset to 0";
    EXPECT_EQ(device.GetPhysicalWidth(), 0);
}

TEST_F(ScannerDeviceTest, FeederAnswersTrueOnlyAboveZero) {
    const struct {
        std::int16_t value;
        bool answer;
    } cases[] = {{1, true}, {7, true}, {0, false}, {-1, false}};
    for (const auto& c : cases) {
        rec.script.inquiries = {{43, c.value}, {44, c.value}};
        ScannerDevice device;
        EXPECT_EQ(device.IsFeederEnabled(), c.answer) << "inquiry 43 answering " << c.value;
        EXPECT_EQ(device.IsFeederLoaded(), c.answer) << "inquiry 44 answering " << c.value;
    }
    EXPECT_NE(Joined(rec.log).find("InquireParameter(43,82) InquireParameter(44,82)"), std::string::npos);
}

TEST_F(ScannerDeviceTest, EndScanAndDestructionTalkToScanner) {
    {
        ScannerDevice device;
        EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksBefore + 1) << "the geometry block";
        device.EndScan();
        EXPECT_EQ(Joined(rec.log), "GetCommandError() ResetScanner() ");
        rec.log.clear();
    }
    EXPECT_EQ(Joined(rec.log), "GetCommandError() ") << "destruction";
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksBefore) << "the geometry block is freed";
}

TEST_F(ScannerDeviceTest, WorksWithoutItsGeometryBlock) {
    platform::FailGlobalAllocationsAfter(0);
    ScannerDevice device;
    platform::FailGlobalAllocationsAfter(-1);
    rec.script.geometry.bytesPerLine = 333;
    OpenDevice(device);
    device.SetupFinalScan(300, 100, 8, nullptr, 0);
    std::uint8_t byte;
    device.ReadData(1, &byte);
    EXPECT_EQ(device.GetBytesPerLine(), 333);
    EXPECT_EQ(Count(rec.log, "SetScanWindow"), 0) << "no window record, no window sent";
}

}  // namespace
