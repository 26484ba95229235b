// The three image types a scan can be taken in. The index equals the TWAIN
// pixel type and the bit of the dialog's allowed-types mask.
#pragma once

#include <cstdint>

struct ImageTypeEntry {
    std::uint32_t paletteEntries;
    std::uint32_t bitsPerPixel;
};

// 0 "BW Drawing", 1 "BW Photo", 2 "Color Photo".
extern const ImageTypeEntry ImageTypeTable[3];
