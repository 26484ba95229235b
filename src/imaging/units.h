// Lengths between the application's unit (the current value of ICAP_UNITS)
// and the source's internal unit of 1/300 inch, and reals to and from
// TW_FIX32. The scan region and the bed size are held in 1/300 inch; the
// layout triplet converts them on their way in and out.
#pragma once

#include <cstdint>

#include "twain/twain.h"

// A length in 1/300 inch as a real in the current unit. 0.0 while the
// capability table holds no ICAP_UNITS record.
float InternalToUnits(std::int32_t length);

// A real in the current unit as a length in 1/300 inch, truncated toward
// zero; a value within a hundredth of a whole count is that count, so a
// frame read in any unit and set back gives back the same region. In pixels
// a value of 12 or less is taken as inches: applications that send inches
// while the unit still reads pixels get the region they meant. 0 without an
// ICAP_UNITS record.
std::int32_t UnitsToInternal(float value);

// Whole is the value rounded to six decimals and truncated toward zero
// (-0.5 gives 0), kept to its low 16 bits. Frac carries the fraction of a
// non-negative value as fraction x 65536, rounded to the nearest step; a
// negative value cannot put its fraction into the unsigned Frac beside a
// Whole truncated toward zero, so its Frac is 0.
TW_FIX32 ToFix32(float value);

// Whole + Frac / 65536.
float FromFix32(TW_FIX32 value);
