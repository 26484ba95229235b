// The rows a writer hands its library: the scan's levels turned into the
// format's convention (which level is white), and 1-bit rows widened to
// grey for a format that has no 1-bit pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/codecs/image_writer.h"

// Bytes of one packed row of the page.
std::size_t PackedRowBytes(const PageFormat& page);
// One packed row, with white as `wantWhiteIsZero` says (1- and 8-bit; a
// 24-bit row is copied).
void CopyRowLevels(const PageFormat& page, const std::uint8_t* in, std::uint8_t* out, bool wantWhiteIsZero);
// A 1-bit row as 8-bit grey, 0 black and 255 white.
void WidenBitsToGrey(const PageFormat& page, const std::uint8_t* in, std::uint8_t* out);
