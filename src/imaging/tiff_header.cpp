// The TIFF header writer. Offsets inside the header are constants checked
// against the writer's position as it goes, so the directory's pointers to
// the rationals and the bits-per-sample triple cannot drift from where the
// values are written.
#include "imaging/tiff_header.h"

#include <cassert>
#include <cstring>

#include "imaging/little_endian_writer.h"

namespace {

constexpr std::uint32_t kHeaderSize = kTiffHeaderSize;
constexpr std::uint32_t kIfdOffset = 8;
constexpr std::uint32_t kEntryCount = 13;
constexpr std::uint32_t kXResolutionOffset = 170;
constexpr std::uint32_t kYResolutionOffset = 178;
constexpr std::uint32_t kBitsPerSampleOffset = 186;
constexpr std::uint32_t kWrittenEnd = 192;

constexpr std::uint32_t kShort = 3;
constexpr std::uint32_t kLong = 4;
constexpr std::uint32_t kRational = 5;

void Entry(LittleEndianWriter& w, std::uint32_t tag, std::uint32_t type, std::uint32_t count, std::uint32_t value) {
    w.u16(tag);    // tag
    w.u16(type);   // field type
    w.u32(count);  // value count
    w.u32(value);  // value, or offset of the values
}

}  // namespace

std::uint32_t TiffHeaderSize() { return kHeaderSize; }

void FillTiffHeader(void* buffer, std::uint32_t bytesPerLine, std::uint32_t pixelsPerLine, std::uint32_t lines,
                    std::uint32_t bitsPerPixel, std::uint32_t xResolution, std::uint32_t yResolution,
                    bool whiteIsZero) {
    const bool oneSample = bitsPerPixel == 1 || bitsPerPixel == 8;
    const std::uint32_t samplesPerPixel = oneSample ? 1 : 3;
    const std::uint32_t bitsPerSampleCount = oneSample ? 1 : 3;
    const std::uint32_t bitsPerSampleValue = oneSample ? bitsPerPixel : kBitsPerSampleOffset;
    // WhiteIsZero 0, BlackIsZero 1, RGB 2.
    const std::uint32_t photometric = oneSample ? (whiteIsZero ? 0 : 1) : 2;

    LittleEndianWriter w(buffer);
    w.bytes("II", 2);    // byte order: little-endian
    w.u16(42);           // TIFF version
    w.u32(kIfdOffset);   // offset of the first directory
    assert(w.written() == kIfdOffset);
    w.u16(kEntryCount);  // directory entries
    Entry(w, 254, kShort, 1, 0);                                         // NewSubfileType
    Entry(w, 256, kShort, 1, pixelsPerLine);                             // ImageWidth
    Entry(w, 257, kShort, 1, lines);                                     // ImageLength
    Entry(w, 258, kShort, bitsPerSampleCount, bitsPerSampleValue);       // BitsPerSample
    Entry(w, 259, kShort, 1, 1);                                         // Compression: none
    Entry(w, 262, kShort, 1, photometric);                               // PhotometricInterpretation
    Entry(w, 273, kLong, 1, kHeaderSize);                                // StripOffsets
    Entry(w, 277, kShort, 1, samplesPerPixel);                           // SamplesPerPixel
    Entry(w, 278, kShort, 1, lines);                                     // RowsPerStrip
    Entry(w, 279, kLong, 1, lines * bytesPerLine);                       // StripByteCounts
    Entry(w, 282, kRational, 1, kXResolutionOffset);                     // XResolution
    Entry(w, 283, kRational, 1, kYResolutionOffset);                     // YResolution
    Entry(w, 296, kShort, 1, 2);                                         // ResolutionUnit: inch
    w.u32(0);            // offset of the next directory: none
    assert(w.written() == kXResolutionOffset);
    w.u32(xResolution);  // XResolution numerator
    w.u32(1);            // XResolution denominator
    assert(w.written() == kYResolutionOffset);
    w.u32(yResolution);  // YResolution numerator
    w.u32(1);            // YResolution denominator
    assert(w.written() == kBitsPerSampleOffset);
    w.u16(8);            // BitsPerSample, red
    w.u16(8);            // BitsPerSample, green
    w.u16(8);            // BitsPerSample, blue
    assert(w.written() == kWrittenEnd);

    // The rest of the header is written to the file as well; zero it so no
    // leftover memory ends up there.
    std::memset(static_cast<std::uint8_t*>(buffer) + kWrittenEnd, 0, kHeaderSize - kWrittenEnd);
}
