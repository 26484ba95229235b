// Writing a packed DIB held in global memory as a BMP file: the 14-byte
// BITMAPFILEHEADER followed by the DIB exactly as it is in memory.
#pragma once

#include <cstdint>

#include "platform/global_memory.h"

constexpr std::uint32_t kBmpFileHeaderSize = 14;

// Writes the 14-byte BITMAPFILEHEADER of a BMP file whose DIB has
// `entries` colour-table entries and `sizeImage` bytes of rows. False, and
// nothing written, when the file would be larger than its 32-bit fields.
bool FillBmpFileHeader(std::uint8_t* header, std::uint64_t sizeImage, std::uint32_t entries);

// Writes the DIB in `dib` (header, `entries` colour-table entries, then
// biSizeImage bytes of rows) to the existing file `fileName`, which is
// neither created nor emptied. Returns 0 on success and 1 when the DIB
// cannot be locked, is smaller than its header says, the file cannot be
// opened or a write fails. The DIB stays the caller's.
int WriteBmpFile(const char* fileName, platform::GlobalHandle dib, std::uint32_t entries);
