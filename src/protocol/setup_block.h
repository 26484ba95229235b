// The set-up block of DAT_CUSTOMDSDATA: the source's whole set-up as bytes
// an application may keep and hand back in a later session. This file holds
// the block's format and nothing else: encoding a SetupBlock and decoding
// untrusted bytes into one. Which capabilities go in, and how a decoded
// block is applied, is custom_ds_data.cpp's business.
//
// Format, version 1; every field little-endian and of fixed size:
//
//   offset  size  field
//   0       4     magic "VSET"
//   4       2     format version: 1
//   6       2     number of entries
//   8       4     total length of the block in bytes, checksum included
//   12      ...   the entries, each: tag u16, payload length u16, payload
//   end-4   4     CRC-32 (the reflected 0xEDB88320 polynomial, as zip and
//                 PNG use it) of every byte before it
//
//   tag               payload (length)
//   a capability id   current i16, minimum i16, maximum i16, step i16,
//   (below 0x8000)    allowed values u32 (bit n: value n allowed)   (12)
//   0x8001 region     left, top, right, bottom i32 in 1/300 inch,
//                     flags u32 (bit 0: fixed by the application)   (20)
//   0x8002 type       the image type the dialog shows, u16 0 to 2   (2)
//
// A block of another version, with a tag this version does not know, with a
// payload of another length, or whose entries do not fill it exactly is not
// decoded: a newer source's block is refused whole rather than half applied.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "capabilities/capability_init_table.h"
#include "imaging/rect32.h"

namespace setup_block {

constexpr std::uint16_t kVersion = 1;
constexpr std::uint16_t kRegionTag = 0x8001;
constexpr std::uint16_t kImageTypeTag = 0x8002;
// Far more than any version-1 block takes; a longer InfoLength is refused
// before anything is read.
constexpr std::size_t kLargestBlock = 4096;
// The farthest edge, in 1/300 inch, a DAT_IMAGELAYOUT frame can name (a
// TW_FIX32 of inches); a region beyond it is no set-up of this source, and
// would overflow the sums the scan's window is made with.
constexpr std::int32_t kLargestEdge = 32768 * 300;

// One capability's negotiated state: the fields a MSG_SET can change.
struct CapabilityState {
    std::uint16_t id = 0;
    std::int16_t current = 0;
    std::int16_t minimum = 0;
    std::int16_t maximum = 0;
    std::int16_t step = 0;
    std::uint32_t allowed = 0;

    bool operator==(const CapabilityState& o) const {
        return id == o.id && current == o.current && minimum == o.minimum && maximum == o.maximum && step == o.step &&
               allowed == o.allowed;
    }
};

// The scan region in 1/300 inch, and whether the application fixed it.
struct Region : Rect32 {
    bool locked = false;

    bool operator==(const Region& o) const { return Rect32::operator==(o) && locked == o.locked; }
};

struct SetupBlock {
    std::array<CapabilityState, kCapabilityCount> capabilities{};
    std::size_t capabilityCount = 0;
    bool haveRegion = false;
    Region region;
    bool haveImageType = false;
    std::uint16_t imageType = 0;
};

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size);

// Bytes Encode writes for `block`.
std::size_t EncodedSize(const SetupBlock& block);
// Writes exactly EncodedSize(block) bytes into `out`.
void Encode(const SetupBlock& block, std::uint8_t* out);
// Reads a block of exactly `size` bytes; false (and `block` unspecified)
// for anything that is not a whole version-1 block.
bool Decode(const std::uint8_t* bytes, std::size_t size, SetupBlock* block);

}  // namespace setup_block
