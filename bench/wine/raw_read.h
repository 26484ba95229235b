// The yardstick of the transfer benchmark: the scanner command library
// itself, set up for the same colour scan the source sets up (data type,
// colour matrix in red, green, blue or exchanged order, tone map, invert,
// scaling, resolution, window), delivering the whole scan in one
// ReadScanData into one buffer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "bench_common.h"
#include "device/scanner_library.h"

class RawScanner {
public:
    RawScanner() = default;
    ~RawScanner();
    RawScanner(const RawScanner&) = delete;
    RawScanner& operator=(const RawScanner&) = delete;

    // Loads VOREL32.dll beside the program and opens the scanner. A scanner
    // shared with the source (loaded by it too) is left open at the end.
    bool Load(bool shared = false);
    // Sets the scan up as the source's final scan does; blueFirst exchanges
    // red and blue as the source does before a DIB is read.
    bool SetUp(const PageSpec& page, bool blueFirst);
    // The size of the scan just set up.
    std::uint32_t TotalBytes() const { return static_cast<std::uint32_t>(geometry_.totalBytes); }
    int PixelsPerLine() const { return geometry_.pixelsPerLine; }
    int Lines() const { return geometry_.lines; }
    // Reads the whole scan into buffer (TotalBytes() long) in one call.
    bool ReadAll(void* buffer, double* seconds);

    const std::string& Error() const { return error_; }

private:
    HMODULE module_ = nullptr;
    bool shared_ = false;
    ScannerLibrary library_{};
    ScanGeometry geometry_{};
    std::string error_;
};
