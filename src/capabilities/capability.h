// Capability: the negotiable state of one TWAIN capability of the source (its
// value, bounds, and the value sets the source supports and the application
// still allows) and its conversion to and from the TWAIN containers an
// application exchanges in global memory blocks. Which capabilities exist and
// how the capability triplet reaches them is the CapabilityTable's business.
#pragma once

#include <cstdint>

#include "capabilities/capability_init_table.h"
#include "twain/twain.h"

class Capability {
public:
    Capability() = default;
    virtual ~Capability() = default;
    Capability(const Capability&) = default;
    Capability& operator=(const Capability&) = default;

    // Fills every field from one record, once, right after construction.
    void Initialize(const CapabilityInit& init) noexcept;

    // Each answer allocates a new block and stores its handle in hContainer;
    // the block is the application's from then on. The result is a TWAIN
    // condition code: TWCC_SUCCESS, or TWCC_LOWMEMORY with hContainer null.
    TW_UINT16 Get(TW_CAPABILITY& cap) noexcept;         // MSG_GET, in `container` form
    TW_UINT16 GetCurrent(TW_CAPABILITY& cap) noexcept;  // MSG_GETCURRENT, a one value
    TW_UINT16 GetDefault(TW_CAPABILITY& cap) noexcept;  // MSG_GETDEFAULT, a one value
    // MSG_GET of a TW_BOOL capability as a TWAIN 2 application asks it: a
    // TW_ENUMERATION of the values from `minimum` to `maximum`.
    TW_UINT16 GetBoolEnumeration(TW_CAPABILITY& cap) noexcept;

    // MSG_SET: takes the application's container, in the form its ConType
    // names. TWCC_SUCCESS, TWCC_LOWMEMORY (block not lockable),
    // TWCC_BADPROTOCOL (unknown ConType) or TWCC_BADVALUE (value out of
    // bounds, bad item type, or a block too short for what it claims to
    // hold). A refused container changes nothing. A TW_FIX32 capability
    // takes its numbers by the item type the application names and rounds
    // a finer fraction than it holds (1/scale) to the nearest it holds;
    // `rounded` then tells so.
    TW_UINT16 Set(const TW_CAPABILITY& cap, bool* rounded = nullptr) noexcept;

    // MSG_RESET: value, bounds, step and allowed set as initialised.
    void Reset() noexcept;

    // The 32-bit item a container of this capability carries for `value`
    // as the record holds it: 16.16 fixed point for TW_FIX32 (in 1/scale),
    // the value sign-extended otherwise.
    TW_UINT32 Item(TW_INT16 value) const noexcept;

    TW_UINT16 id = 0;
    TW_INT16 current = 0;
    TW_INT16 minimum = 0;
    TW_INT16 maximum = 0;
    TW_INT16 defaultValue = 0;
    TW_INT16 step = 0;
    TW_UINT32 supportedMask = 0;
    TW_UINT32 allowedMask = 0;
    TW_UINT16 container = 0;
    TW_UINT16 itemType = 0;
    TW_INT16 initialCurrent = 0;
    TW_INT16 initialMinimum = 0;
    TW_INT16 initialMaximum = 0;
    TW_INT16 initialStep = 0;
    TW_UINT16 operations = 0;  // TWQC_* bits: the messages it takes
    // The numbers are held in 1/scale (TW_FIX32 only): 100 holds hundredths.
    TW_UINT16 scale = 1;

private:
    TW_UINT16 GetEnumeration(TW_CAPABILITY& cap) noexcept;
    TW_UINT16 GetRange(TW_CAPABILITY& cap) noexcept;
    TW_UINT16 MakeOneValue(TW_UINT32 value, TW_CAPABILITY& cap) noexcept;
    TW_UINT16 SetFromEnumeration(const std::uint8_t* block, std::uint64_t blockSize) noexcept;
    TW_UINT16 SetFromOneValue(const std::uint8_t* block, std::uint64_t blockSize) noexcept;
    TW_UINT16 SetFromRange(const std::uint8_t* block, std::uint64_t blockSize) noexcept;
    TW_UINT16 SetNumbersFromOneValue(const std::uint8_t* block, std::uint64_t blockSize, bool* rounded) noexcept;
    TW_UINT16 SetNumbersFromRange(const std::uint8_t* block, std::uint64_t blockSize, bool* rounded) noexcept;
};
