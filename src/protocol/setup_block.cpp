// Encoding and decoding of the set-up block. The decoder reads untrusted
// bytes: every field is read only after the bytes before the checksum have
// been found to hold it.
#include "protocol/setup_block.h"

#include <initializer_list>

#include "capabilities/container_block.h"
#include "imaging/little_endian_writer.h"

namespace setup_block {
namespace {

constexpr std::uint8_t kMagic[4] = {'V', 'S', 'E', 'T'};
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kChecksumSize = 4;
constexpr std::size_t kEntryHead = 4;
constexpr std::uint16_t kCapabilityPayload = 12;
constexpr std::uint16_t kRegionPayload = 20;
constexpr std::uint16_t kImageTypePayload = 2;
constexpr std::uint32_t kRegionLocked = 1;

std::int16_t I16(const std::uint8_t* p, std::size_t at) { return static_cast<std::int16_t>(containers::GetU16(p, at)); }
std::int32_t I32(const std::uint8_t* p, std::size_t at) { return static_cast<std::int32_t>(containers::GetU32(p, at)); }

std::size_t EntryCount(const SetupBlock& block) {
    return block.capabilityCount + (block.haveRegion ? 1 : 0) + (block.haveImageType ? 1 : 0);
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::size_t EncodedSize(const SetupBlock& block) {
    return kHeaderSize + block.capabilityCount * (kEntryHead + kCapabilityPayload) +
           (block.haveRegion ? kEntryHead + kRegionPayload : 0) +
           (block.haveImageType ? kEntryHead + kImageTypePayload : 0) + kChecksumSize;
}

void Encode(const SetupBlock& block, std::uint8_t* out) {
    const std::size_t size = EncodedSize(block);
    LittleEndianWriter w(out);
    for (std::uint8_t m : kMagic) w.u8(m);                        // magic
    w.u16(kVersion);                                               // format version
    w.u16(static_cast<std::uint32_t>(EntryCount(block)));          // number of entries
    w.u32(static_cast<std::uint32_t>(size));                       // total length
    for (std::size_t i = 0; i < block.capabilityCount; ++i) {
        const CapabilityState& c = block.capabilities[i];
        w.u16(c.id);                                               // tag: the capability
        w.u16(kCapabilityPayload);                                 // payload length
        w.u16(static_cast<std::uint16_t>(c.current));              // current
        w.u16(static_cast<std::uint16_t>(c.minimum));              // minimum
        w.u16(static_cast<std::uint16_t>(c.maximum));              // maximum
        w.u16(static_cast<std::uint16_t>(c.step));                 // step
        w.u32(c.allowed);                                          // allowed values
    }
    if (block.haveRegion) {
        w.u16(kRegionTag);                                         // tag: the region
        w.u16(kRegionPayload);                                     // payload length
        w.i32(block.region.left);                                  // left
        w.i32(block.region.top);                                   // top
        w.i32(block.region.right);                                 // right
        w.i32(block.region.bottom);                                // bottom
        w.u32(block.region.locked ? kRegionLocked : 0);            // flags
    }
    if (block.haveImageType) {
        w.u16(kImageTypeTag);                                      // tag: the image type
        w.u16(kImageTypePayload);                                  // payload length
        w.u16(block.imageType);                                    // image type
    }
    w.u32(Crc32(out, size - kChecksumSize));                       // checksum
}

bool Decode(const std::uint8_t* bytes, std::size_t size, SetupBlock* block) {
    using containers::GetU16;
    using containers::GetU32;
    if (size < kHeaderSize + kChecksumSize || size > kLargestBlock) return false;
    for (std::size_t i = 0; i < sizeof kMagic; ++i) {
        if (bytes[i] != kMagic[i]) return false;
    }
    if (GetU16(bytes, 4) != kVersion) return false;
    if (GetU32(bytes, 8) != size) return false;
    const std::size_t end = size - kChecksumSize;
    if (GetU32(bytes, end) != Crc32(bytes, end)) return false;

    *block = SetupBlock{};
    const std::size_t entries = GetU16(bytes, 6);
    std::size_t at = kHeaderSize;
    for (std::size_t n = 0; n < entries; ++n) {
        if (end - at < kEntryHead) return false;
        const std::uint16_t tag = GetU16(bytes, at);
        const std::uint16_t length = GetU16(bytes, at + 2);
        at += kEntryHead;
        if (end - at < length) return false;
        const std::uint8_t* p = bytes + at;
        if (tag == kRegionTag) {
            if (length != kRegionPayload || block->haveRegion) return false;
            const std::uint32_t flags = GetU32(p, 16);
            if ((flags & ~kRegionLocked) != 0) return false;
            const Region region{{I32(p, 0), I32(p, 4), I32(p, 8), I32(p, 12)}, flags == kRegionLocked};
            for (std::int32_t edge : {region.left, region.top, region.right, region.bottom}) {
                if (edge < -kLargestEdge || edge > kLargestEdge) return false;
            }
            block->region = region;
            block->haveRegion = true;
        } else if (tag == kImageTypeTag) {
            if (length != kImageTypePayload || block->haveImageType) return false;
            block->imageType = GetU16(p, 0);
            block->haveImageType = true;
        } else if (tag < 0x8000) {
            if (length != kCapabilityPayload || block->capabilityCount == block->capabilities.size()) return false;
            CapabilityState& c = block->capabilities[block->capabilityCount++];
            c.id = tag;
            c.current = I16(p, 0);
            c.minimum = I16(p, 2);
            c.maximum = I16(p, 4);
            c.step = I16(p, 6);
            c.allowed = GetU32(p, 8);
        } else {
            return false;
        }
        at += length;
    }
    return at == end;
}

}  // namespace setup_block
