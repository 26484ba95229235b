// What the simulator's tests share: a fixture that starts every test from
// a freshly switched-on, opened simulator with no VOREL_SIM_* variables
// set, and helpers that set a scan up and read it whole the way the device
// does (mode 2 first, then 0 until a short read).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "simulated_library.h"

namespace simtest {

struct Colour {
    int r;
    int g;
    int b;
    bool operator==(const Colour& other) const { return r == other.r && g == other.g && b == other.b; }
};
inline void PrintTo(const Colour& c, std::ostream* out) { *out << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

struct Window {
    int left;
    int top;
    int width;
    int height;
};

// The three bytes of pixel (x, y) of a colour scan, in the order delivered.
inline Colour ColourAt(const std::vector<std::uint8_t>& data, int bytesPerLine, int x, int y) {
    const std::size_t at = static_cast<std::size_t>(y) * bytesPerLine + 3 * static_cast<std::size_t>(x);
    if (at + 3 > data.size()) {
        ADD_FAILURE() << "pixel " << x << ", " << y << " lies beyond the " << data.size() << " bytes read";
        return {-1, -1, -1};
    }
    return {data[at], data[at + 1], data[at + 2]};
}

// Byte k is the output for input 255 - k.
inline std::array<std::uint8_t, 256> IdentityToneMap() {
    std::array<std::uint8_t, 256> map{};
    for (int k = 0; k < 256; ++k) map[k] = static_cast<std::uint8_t>(255 - k);
    return map;
}

constexpr const char* kVariables[] = {"VOREL_SIM_COLOR",   "VOREL_SIM_OPEN",  "VOREL_SIM_RESET", "VOREL_SIM_FEEDER",
                                      "VOREL_SIM_MATRIX7", "VOREL_SIM_LINES", "VOREL_SIM_PAGE",  "VOREL_SIM_LOG",
                                      "VOREL_SIM_SHEETS",  "VOREL_SIM_JAM",   "VOREL_SIM_FAIL_AT",
                                      "VOREL_SIM_FAIL_STATUS", "VOREL_SIM_SHEET_CONTENT"};

class SimulatorTest : public ::testing::Test {
protected:
    const ScannerLibrary& library = SimulatedScannerLibrary();

    void SetUp() override {
        ClearEnvironment();
        ResetSimulator();
        ASSERT_EQ(library.OpenScanner(1, 1), 0) << "OpenScanner(1, 1) with no variables set";
    }
    void TearDown() override {
        ClearEnvironment();
        ResetSimulator();
    }

    static void ClearEnvironment() {
        for (const char* name : kVariables) unsetenv(name);
    }

    // Sets one variable, switches the simulator on again so that it reads
    // it, and tries to open it.
    void SetEnvironment(const char* name, const std::string& value) {
        setenv(name, value.c_str(), 1);
        ResetSimulator();
        library.OpenScanner(1, 1);
    }

    std::int16_t SetWindow(int resolution, const Window& window) {
        std::uint16_t record[5] = {static_cast<std::uint16_t>(resolution), static_cast<std::uint16_t>(window.left),
                                   static_cast<std::uint16_t>(window.top), static_cast<std::uint16_t>(window.width),
                                   static_cast<std::uint16_t>(window.height)};
        return library.SetScanWindow(record, 0);
    }

    // Reset, data type, scaling, resolution and window, in the order of the
    // device's final scan; returns the window's status.
    std::int16_t SetUpScan(std::int16_t dataType, int resolution, const Window& window, int scaling = 100) {
        EXPECT_EQ(library.ResetScanner(), 0) << "ResetScanner";
        EXPECT_EQ(library.SetParameter(25, dataType), 0) << "SetParameter(25, " << dataType << ")";
        if (dataType == 4) {
            EXPECT_EQ(library.SetParameter(26, 8), 0) << "SetParameter(26, 8)";
        }
        EXPECT_EQ(library.SetScaling(static_cast<std::int16_t>(scaling), static_cast<std::int16_t>(scaling)), 0)
            << "SetScaling " << scaling;
        EXPECT_EQ(library.SetScanResolution(static_cast<std::int16_t>(resolution), static_cast<std::int16_t>(resolution)), 0)
            << "SetScanResolution " << resolution;
        return SetWindow(resolution, window);
    }

    ScanGeometry Geometry() {
        ScanGeometry geometry{};
        EXPECT_EQ(library.GetScanGeometry(&geometry), 0) << "GetScanGeometry";
        return geometry;
    }

    int Inquire(std::int16_t code, std::int16_t form) {
        std::int16_t value = 0x1234;
        EXPECT_EQ(library.InquireParameter(code, form, &value), 0) << "InquireParameter(" << code << ", " << form << ")";
        return value;
    }

    void DownloadToneMap(std::array<std::uint8_t, 256> map) {
        ASSERT_EQ(library.DownloadBlock(1, map.data()), 0) << "DownloadBlock(1)";
    }

    // The whole scan, read in chunks of `chunk` bytes.
    std::vector<std::uint8_t> ReadAll(std::int32_t chunk) {
        std::vector<std::uint8_t> data;
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(chunk));
        for (std::int16_t mode = 2;; mode = 0) {
            std::int32_t got = -1;
            const std::int16_t status = library.ReadScanData(mode, buffer.data(), chunk, &got);
            EXPECT_EQ(status, 0) << "ReadScanData(" << mode << ", " << chunk << ")";
            if (status != 0 || got < 0 || got > chunk) {
                ADD_FAILURE() << "ReadScanData gave " << got << " bytes of " << chunk;
                break;
            }
            data.insert(data.end(), buffer.begin(), buffer.begin() + got);
            if (got < chunk || data.size() > (std::size_t{1} << 31)) break;
        }
        return data;
    }
};

}  // namespace simtest
