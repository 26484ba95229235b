// The page's turn from the rotation and orientation records.
#include "capabilities/page_turn.h"

#include "twain/twain.h"

namespace {

int Quarters(int degrees) { return ((degrees / 90) % 4 + 4) % 4; }

}  // namespace

int QuarterTurns(const CapabilityTable& constTable) noexcept {
    // Lookup is not const; reading changes nothing.
    auto& table = const_cast<CapabilityTable&>(constTable);
    const Capability* rotation = table.Lookup(ICAP_ROTATION);
    const Capability* orientation = table.Lookup(ICAP_ORIENTATION);
    const int degrees = rotation != nullptr ? rotation->current : 0;
    const int quarters = orientation != nullptr ? orientation->current : 0;
    return (Quarters(degrees) + quarters % 4 + 4) % 4;
}

bool SetQuarterTurns(CapabilityTable& table, int quarterTurns) noexcept {
    Capability* rotation = table.Lookup(ICAP_ROTATION);
    if (rotation == nullptr) return false;
    const Capability* orientation = table.Lookup(ICAP_ORIENTATION);
    const int fromOrientation = orientation != nullptr ? orientation->current % 4 : 0;
    const int degrees = ((quarterTurns - fromOrientation) % 4 + 4) % 4 * 90;
    if (degrees < rotation->minimum || degrees > rotation->maximum) return false;
    rotation->current = static_cast<TW_INT16>(degrees);
    return true;
}
