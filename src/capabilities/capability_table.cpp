// The module-wide CapabilityTable and its operations. The records live in a
// fixed array, so building and clearing never allocate and cannot fail.
#include "capabilities/capability_table.h"

CapabilityTable capabilityTable;

void CapabilityTable::Build() noexcept {
    for (std::size_t i = 0; i < kCapabilityCount; ++i) {
        records[i] = Capability();
        records[i].Initialize(CapabilityInitTable[i]);
    }
    built = true;
}

void CapabilityTable::Clear() noexcept {
    for (Capability& record : records) record = Capability();
    built = false;
}

Capability& CapabilityTable::Find(TW_UINT16 id) noexcept {
    for (std::size_t i = 0; i + 1 < kCapabilityCount; ++i) {
        if (records[i].id == id) return records[i];
    }
    return records[kCapabilityCount - 1];
}

Capability* CapabilityTable::Lookup(TW_UINT16 id) noexcept {
    if (!built) return nullptr;
    for (Capability& record : records) {
        if (record.id == id) return &record;
    }
    return nullptr;
}
