// The static description of the source's capabilities: one CapabilityInit
// record per negotiable capability, in the order the CapabilityTable keeps
// them, and the list of codes answered for CAP_SUPPORTEDCAPS. Neither table
// is ever written.
#pragma once

#include <cstddef>

#include "twain/twain.h"

// The first values of one capability. The two pads keep the record's layout
// at 24 bytes with every field on its natural boundary.
struct CapabilityInit {
    TW_UINT16 id;             // CAP_* / ICAP_* code
    TW_UINT16 container;      // TWON_* used to answer MSG_GET
    TW_UINT16 itemType;       // TWTY_* written into every container
    TW_UINT16 reserved1;
    TW_UINT32 supportedMask;  // bit n: value n supported (enumerations only)
    TW_INT16 minimum;
    TW_INT16 maximum;
    TW_INT16 current;
    TW_INT16 defaultValue;
    TW_INT16 step;
    TW_UINT16 reserved2;
};

constexpr std::size_t kCapabilityCount = 20;
constexpr std::size_t kSupportedCapsCount = 20;

// Slot 0 is CAP_XFERCOUNT (the pending-transfers handler reads it without a
// search); slot 19 is ICAP_PHYSICALWIDTH (what a failed search returns).
extern const CapabilityInit CapabilityInitTable[kCapabilityCount];

// The codes answered for CAP_SUPPORTEDCAPS, in the order they are listed.
// It names CAP_SUPPORTEDCAPS itself and leaves out ICAP_COMPRESSION, which
// the table nevertheless answers.
extern const TW_UINT16 SupportedCapsList[kSupportedCapsCount];
