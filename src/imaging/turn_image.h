// Turning an image by quarter turns clockwise: 1-, 8- and 24-bit rows of
// any width (1-bit rows most significant bit first, 24-bit pixels moved as
// three bytes in whatever order they hold). A pure function over two
// blocks the caller owns; where the rows come from and go is the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

// The size of an image of width x height turned `quarterTurns` clockwise
// (any number, taken modulo 4): the two swap for an odd number.
void TurnedSize(std::uint32_t width, std::uint32_t height, int quarterTurns, std::uint32_t* turnedWidth,
                std::uint32_t* turnedHeight);

// The bytes a row of `width` pixels fills, the last byte's unused bits
// included.
constexpr std::size_t PackedRowBytes(std::uint32_t width, std::uint32_t bitsPerPixel) {
    return (std::size_t{width} * bitsPerPixel + 7) / 8;
}

// Writes `source` (width x height, rows `sourceStride` bytes apart) turned
// `quarterTurns` clockwise into `target`, whose rows lie `targetStride`
// bytes apart; a negative stride lays the rows out bottom-up from `target`
// (the first row there, the next one below it in memory). Every target row
// is written whole, |targetStride| bytes: the pixels, then zeros (the last
// byte's unused bits and the padding). |targetStride| must hold the turned
// row's PackedRowBytes, and the two blocks must not overlap. False, with
// nothing written, for another depth or a stride too short.
bool TurnImage(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
               std::uint32_t bitsPerPixel, int quarterTurns, std::uint8_t* target, std::ptrdiff_t targetStride);
