// The turn the source gives a page: ICAP_ROTATION (degrees, clockwise,
// quarter turns only) and ICAP_ORIENTATION (TWOR_ROT0 to TWOR_ROT270, the
// same quarters) add up, modulo a whole turn. Whatever shows or sets the
// turn (the capability handler, the dialog, the enabling that hands it to
// the scan session) reads and writes it here.
#pragma once

#include "capabilities/capability_table.h"

// The clockwise quarter turns, 0 to 3, that the current values of the two
// capabilities make; 0 while the table has neither.
int QuarterTurns(const CapabilityTable& table) noexcept;

// Sets ICAP_ROTATION so that the page is turned `quarterTurns` clockwise
// (taken modulo 4) with the orientation as it is. False, with nothing
// changed, when the table has no rotation or the value needed lies outside
// what the application left allowed.
bool SetQuarterTurns(CapabilityTable& table, int quarterTurns) noexcept;

// Whether a number of degrees is a whole count of quarter turns.
constexpr bool IsQuarterTurn(int degrees) { return degrees % 90 == 0; }
