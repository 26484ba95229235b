// The module-wide CapabilityTable and its operations. The records live in a
// fixed array, so building and clearing never allocate and cannot fail.
#include "capabilities/capability_table.h"

#include "acquisition/image_types.h"

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

namespace {

// The depth of a pixel type the table may hold; colour for anything else,
// as the image type list reads it.
TW_INT16 DepthOf(TW_INT16 pixelType) {
    const int type = pixelType == TWPT_BW ? 0 : pixelType == TWPT_GRAY ? 1 : 2;
    return static_cast<TW_INT16>(ImageTypeTable[type].bitsPerPixel);
}

}  // namespace

TW_UINT32 DepthBitOfPixelType(CapabilityTable& table) noexcept {
    const Capability* pixelType = table.Lookup(ICAP_PIXELTYPE);
    return pixelType != nullptr ? TW_UINT32{1} << DepthOf(pixelType->current) : 0;
}

void MatchBitDepthToPixelType(CapabilityTable& table) noexcept {
    const Capability* pixelType = table.Lookup(ICAP_PIXELTYPE);
    Capability* bitDepth = table.Lookup(ICAP_BITDEPTH);
    if (pixelType == nullptr || bitDepth == nullptr) return;
    const TW_INT16 depth = DepthOf(pixelType->current);
    bitDepth->current = bitDepth->defaultValue = bitDepth->initialCurrent = depth;
}

bool ScannerBed(CapabilityTable& table, std::int32_t* width, std::int32_t* height) noexcept {
    const Capability* across = table.Lookup(ICAP_PHYSICALWIDTH);
    const Capability* down = table.Lookup(ICAP_PHYSICALHEIGHT);
    if (across == nullptr || down == nullptr || across->current <= 0 || down->current <= 0) return false;
    *width = across->current;
    *height = down->current;
    return true;
}
