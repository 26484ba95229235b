// ReadImageToDIB with arbitrary geometry, destination sizes and a scanner
// that answers reads with arbitrary byte counts (negative, short, or more
// than was asked for). The destination is exactly as large as claimed, so
// any write outside it is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "device/scanner_device.h"
#include "device/scanner_library.h"

namespace {

const std::uint8_t* script = nullptr;
std::size_t scriptLeft = 0;

std::int32_t NextAnswer() {
    if (scriptLeft < 4) return 0;
    std::int32_t value;
    std::memcpy(&value, script, 4);
    script += 4;
    scriptLeft -= 4;
    return value;
}

std::int16_t VOREL_API ReadScanData(std::int16_t, void* buffer, std::int32_t count, std::int32_t* got) {
    const std::int32_t answer = NextAnswer();
    // A library writes at most what it was asked for, but may claim anything.
    std::int32_t written = answer < 0 ? 0 : answer > count ? count : answer;
    if (written > 0) std::memset(buffer, 0x5A, static_cast<std::size_t>(written));
    *got = answer;
    return 0;
}
std::int16_t VOREL_API Status0() { return 0; }
std::int16_t VOREL_API Open(std::uint16_t, std::int16_t) { return 0; }
std::int16_t VOREL_API Download(std::int16_t, void*) { return 0; }
std::int16_t VOREL_API Geometry(ScanGeometry*) { return 0; }
std::int16_t VOREL_API TwoShorts(std::int16_t, std::int16_t) { return 0; }
std::int16_t VOREL_API Window(std::uint16_t*, std::int16_t) { return 0; }
std::int16_t VOREL_API Upload(std::int16_t, void*, std::int16_t, std::int16_t*) { return 0; }
std::int16_t VOREL_API Inquire(std::int16_t, std::int16_t, std::int16_t*) { return 0; }

const ScannerLibrary kLibrary = {Open,      Download, Geometry, Status0, ReadScanData, TwoShorts,
                                 TwoShorts, Window,   Upload,   Inquire, Status0,      TwoShorts};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    std::int32_t bytesPerLine;
    std::memcpy(&bytesPerLine, data, 4);
    bytesPerLine %= 140000;  // both sides of the 64000-byte block, and negatives
    const int lines = data[4] % (bytesPerLine > 64000 ? 4 : 200);
    const bool bottomUp = data[5] & 1;
    const int slack = static_cast<std::int8_t>(data[6]);  // destination a little short or long
    script = data + 8;
    scriptLeft = size - 8;

    std::size_t needed = 0;
    if (bytesPerLine > 0) needed = static_cast<std::size_t>((bytesPerLine + 3) & ~3) * static_cast<std::size_t>(lines);
    const std::size_t destinationSize = slack < 0 && needed < std::size_t(-slack) ? 0 : needed + slack;
    std::vector<std::uint8_t> destination(destinationSize + (destinationSize == 0 ? 1 : 0));

    SetScannerLibraryForTesting(&kLibrary);
    ScannerDevice device;
    const std::uint32_t placed =
        device.ReadImageToDIB(bytesPerLine, lines, destination.data(), destinationSize, bottomUp);
    if (placed > destinationSize) __builtin_trap();
    SetScannerLibraryForTesting(nullptr);
    return 0;
}
