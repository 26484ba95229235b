// CapabilityTable: the 20 Capability records of the open source, in the order
// of CapabilityInitTable. It is built when the application opens the source
// and cleared when it closes it, so nothing negotiated survives a close.
// There is one, module-wide: `capabilityTable`.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "capabilities/capability.h"
#include "capabilities/capability_init_table.h"

class CapabilityTable {
public:
    // Fills the 20 slots from CapabilityInitTable, starting afresh even if
    // the table was already built.
    void Build() noexcept;
    // Empties the table; every record is back to a blank one whose id is 0.
    void Clear() noexcept;

    bool IsBuilt() const noexcept { return built; }
    // 20 while built, 0 otherwise.
    std::size_t Size() const noexcept { return built ? kCapabilityCount : 0; }

    // The first record whose id is `id`; when none of the first 19 matches,
    // the last record (ICAP_PHYSICALWIDTH) without comparing it. A caller
    // that must not act on a wrong record compares the returned id. While
    // the table is empty the answer is a blank record with id 0.
    Capability& Find(TW_UINT16 id) noexcept;

    // The record of slot `index` (0 to 19) by position: slot 0 is
    // CAP_XFERCOUNT, which the pending-transfers handler reads directly.
    Capability& Slot(std::size_t index) noexcept { return records[index < kCapabilityCount ? index : kCapabilityCount - 1]; }

    // The record whose id is `id`, or null; no fallback to the last slot.
    Capability* Lookup(TW_UINT16 id) noexcept;

private:
    std::array<Capability, kCapabilityCount> records{};
    bool built = false;
};

extern CapabilityTable capabilityTable;

// ICAP_PIXELTYPE decides ICAP_BITDEPTH: bi-level is 1 bit, grey 8, colour
// 24. The bit (1 << depth) of the negotiated type's depth; 0 while the
// table is empty.
TW_UINT32 DepthBitOfPixelType(CapabilityTable& table) noexcept;
// Makes the bit depth's current, default and reset value the negotiated
// type's depth; after every change of the pixel type.
void MatchBitDepthToPixelType(CapabilityTable& table) noexcept;

// The scanner's bed in 1/300 inch as it reported it at opening
// (ICAP_PHYSICALWIDTH and ICAP_PHYSICALHEIGHT); false when it reported
// none (a scanner that could not be opened): frames are then held to nothing.
bool ScannerBed(CapabilityTable& table, std::int32_t* width, std::int32_t* height) noexcept;
