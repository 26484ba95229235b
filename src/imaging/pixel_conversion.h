// Pixel conversions for the preview: the scanner's 3-byte pixels (blue,
// green, red, rows packed without padding) turned into 1-, 8- or 24-bit DIB
// rows, and grey preview data widened in place to 3-byte pixels.
#pragma once

#include <cstdint>

// The grey of a pixel whose bytes are blue, green, red (0 to 255).
constexpr std::uint32_t GreyOf(std::uint32_t blue, std::uint32_t green, std::uint32_t red) {
    return (11 * blue + 59 * green + 30 * red) / 100;
}

// Converts `lines` rows of `width` 3-byte pixels into DIB rows padded to
// RowStride. 1 bit: grey above 128 is 1, packed from the most significant
// bit; 8 bits: the grey; 24 bits: a copy. Any other depth converts nothing.
// Padding bytes of the destination are not written. The destination holds
// RowStride(row bytes) x lines bytes, the source 3 x width x lines.
void ConvertRows(std::uint32_t bitsPerPixel, void* destination, const void* source, std::int32_t width,
                 std::int32_t lines);

// Widens the first pixelsPerLine x lines bytes of `buffer` (one grey byte
// per pixel) to three equal bytes per pixel; the buffer holds three times
// as many bytes. Uses a temporary global memory block: when that cannot be
// had the buffer is left unchanged and the result is false.
bool ExpandGreyToTriples(std::uint8_t* buffer, std::int32_t pixelsPerLine, std::int32_t lines);
