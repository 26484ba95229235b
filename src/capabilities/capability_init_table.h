// The static description of the source's capabilities: one CapabilityInit
// record per negotiable capability, in the order the CapabilityTable keeps
// them. The table is never written.
#pragma once

#include <cstddef>

#include "twain/twain.h"

// The first values of one capability and the messages it takes. The
// record keeps its layout at 24 bytes with every field on its natural
// boundary. A TW_FIX32 capability with fractions holds its numbers in
// 1/scale (gamma 2.2 with scale 100 is 220); 0 and 1 mean whole numbers.
struct CapabilityInit {
    TW_UINT16 id;             // CAP_* / ICAP_* code
    TW_UINT16 container;      // TWON_* used to answer MSG_GET
    TW_UINT16 itemType;       // TWTY_* written into every container
    TW_UINT16 scale;          // the numbers are held in 1/scale
    TW_UINT32 supportedMask;  // bit n: value n supported (enumerations only)
    TW_INT16 minimum;
    TW_INT16 maximum;
    TW_INT16 current;
    TW_INT16 defaultValue;
    TW_INT16 step;
    TW_UINT16 operations;     // TWQC_* bits of the messages the capability takes
};

// The messages of a capability an application only reads, and of one it
// may also set and reset.
constexpr TW_UINT16 kReadOnly = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
constexpr TW_UINT16 kNegotiable = kReadOnly | TWQC_SET | TWQC_RESET;

constexpr std::size_t kCapabilityCount = 43;

// Slot 0 is CAP_XFERCOUNT (the pending-transfers handler reads it without a
// search); the last slot is ICAP_PHYSICALWIDTH (what a failed search returns).
extern const CapabilityInit CapabilityInitTable[kCapabilityCount];

// ICAP_THRESHOLD: the level at which the scanner makes grey black or white.
constexpr TW_INT16 kScannerThreshold = 128;
// ICAP_X/YNATIVERESOLUTION: the scanner's optical resolution, in which it
// also measures every length (1/300 inch).
constexpr TW_INT16 kScannerOpticalResolution = 300;

// ICAP_XSCALING / ICAP_YSCALING in hundredths: what the scanner's scaling
// takes, 10 to 400 %.
constexpr TW_INT16 kLowestScaling = 10;
constexpr TW_INT16 kHighestScaling = 400;

// ICAP_ROTATION in whole degrees: a quarter turn is the only step the
// source turns a page by.
constexpr TW_INT16 kQuarterTurnDegrees = 90;
