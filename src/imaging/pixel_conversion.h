// Pixel conversions for the preview: the scanner's 3-byte pixels (blue,
// green, red, rows packed without padding, as the scanner sees the page)
// turned into 1-, 8- or 24-bit DIB rows the way the scanner itself makes a
// scan of that type, and grey preview data widened in place to 3-byte pixels.
#pragma once

#include <cstdint>

// The scanner's grey of a pixel whose bytes are blue, green, red (0 to 255):
// 77/256 red, 150/256 green, 29/256 blue, rounded.
constexpr std::uint32_t GreyOf(std::uint32_t blue, std::uint32_t green, std::uint32_t red) {
    return (29 * blue + 150 * green + 77 * red + 128) >> 8;
}
// The scanner's black and white: a levelled grey of at least this is white.
constexpr std::uint32_t kWhiteFrom = 128;

// Converts `lines` rows of `width` 3-byte pixels into DIB rows padded to
// RowStride, with `levels` (the output level of each input level, the
// scanner's tone map; null for none) applied as the scanner applies it.
// 24 bits: each byte levelled; 8 bits: the grey, levelled; 1 bit: 1 (white)
// where the levelled grey is at least kWhiteFrom, packed from the most
// significant bit. Any other depth converts nothing. Padding bytes of the
// destination are not written. The destination holds RowStride(row bytes) x
// lines bytes, the source 3 x width x lines.
void ConvertRows(std::uint32_t bitsPerPixel, void* destination, const void* source, std::int32_t width,
                 std::int32_t lines, const std::uint8_t* levels = nullptr);

// Widens the first pixelsPerLine x lines bytes of `buffer` (one grey byte
// per pixel) to three equal bytes per pixel; the buffer holds three times
// as many bytes. Uses a temporary global memory block: when that cannot be
// had the buffer is left unchanged and the result is false.
bool ExpandGreyToTriples(std::uint8_t* buffer, std::int32_t pixelsPerLine, std::int32_t lines);
