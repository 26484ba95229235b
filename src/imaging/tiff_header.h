// The header of the TIFF files the source writes: byte order, one image
// file directory of 13 entries, the two resolutions and the bits per
// sample, with the single uncompressed strip starting right after it.
#pragma once

#include <cstdint>

// The strip of image rows starts at this offset.
constexpr std::uint32_t kTiffHeaderSize = 354;
std::uint32_t TiffHeaderSize();

// Fills the first TiffHeaderSize() bytes of `buffer`. 1 bit per pixel is
// bi-level and 8 bits grey, black is zero unless `whiteIsZero` (an inverted
// scan); 24 bits and any other value are RGB with three samples. The unused
// tail of the header is zeroed.
void FillTiffHeader(void* buffer, std::uint32_t bytesPerLine, std::uint32_t pixelsPerLine, std::uint32_t lines,
                    std::uint32_t bitsPerPixel, std::uint32_t xResolution, std::uint32_t yResolution,
                    bool whiteIsZero = false);
