// The Capability record: building the MSG_GET, MSG_GETCURRENT and
// MSG_GETDEFAULT containers, taking a MSG_SET container apart, and MSG_RESET.
// Every container an application hands in is untrusted: its head and its
// items are read only after the block's size has been found to hold them.
#include "capabilities/capability.h"

#include "capabilities/container_block.h"
#include "platform/global_memory.h"
#include "platform/pointer_check.h"

using namespace containers;

namespace {

TW_UINT32 SignExtend(TW_INT16 value) { return static_cast<TW_UINT32>(static_cast<TW_INT32>(value)); }

TW_UINT16 ScaleOf(TW_UINT16 scale) { return scale == 0 ? 1 : scale; }

// A TW_FIX32 item of a number held in 1/scale: the 16.16 fixed-point value,
// Whole in the low half and Frac in the high half as the item lies in
// memory. Whole is the floor, so -0.5 is Whole -1 and Frac 0x8000.
TW_UINT32 Fix32Item(TW_INT16 value, TW_UINT16 scale) {
    const std::int64_t units = ScaleOf(scale);
    const std::int64_t scaled = std::int64_t{value} * 65536;
    // Nearest, halves away from zero.
    const std::int64_t fixed = (scaled >= 0 ? scaled + units / 2 : scaled - units / 2) / units;
    const auto bits = static_cast<TW_UINT32>(static_cast<TW_INT32>(fixed));
    return (bits >> 16) | (bits << 16);
}

// Rounds value / 65536 to the nearest whole number, halves up.
std::int64_t RoundFixed(std::int64_t value) {
    const std::int64_t shifted = value + 32768;
    return shifted >= 0 ? shifted / 65536 : -((-shifted + 65535) / 65536);
}

// The number an item of the application's type carries, in 1/scale and
// rounded to a whole count of those; false for a type that carries no
// number. A TW_FIX32 is Whole plus Frac / 65536, so half a step and more
// goes up.
bool ReadNumber(TW_UINT16 type, TW_UINT32 raw, TW_UINT16 scale, std::int64_t* number, bool* rounded) {
    const std::int64_t units = ScaleOf(scale);
    switch (type) {
    case TWTY_INT8: *number = static_cast<TW_INT8>(raw & 0xFF) * units; return true;
    case TWTY_UINT8: *number = (raw & 0xFF) * units; return true;
    case TWTY_INT16: *number = static_cast<TW_INT16>(raw & 0xFFFF) * units; return true;
    case TWTY_UINT16: *number = (raw & 0xFFFF) * units; return true;
    case TWTY_INT32: *number = static_cast<TW_INT32>(raw) * units; return true;
    case TWTY_UINT32: *number = raw * units; return true;
    case TWTY_FIX32: {
        const std::int64_t fixed = static_cast<TW_INT32>((raw & 0xFFFF) << 16 | raw >> 16);
        *number = RoundFixed(fixed * units);
        // A value the source answers itself (2.2 as the nearest 16.16 to
        // it) is taken as it is; anything else between two held numbers
        // is rounded.
        if (*number < INT16_MIN || *number > INT16_MAX ||
            Fix32Item(static_cast<TW_INT16>(*number), scale) != raw) {
            *rounded = true;
        }
        return true;
    }
    default:
        return false;
    }
}

// Bytes one enumeration item of a readable type takes; 0 for the types the
// source does not read (FIX32 and above).
unsigned ItemSize(TW_UINT16 itemType) {
    switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8:
        return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
        return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
        return 4;
    default:
        return 0;
    }
}

TW_UINT16 StoreOneValue(TW_UINT16 itemType, TW_UINT32 item, TW_CAPABILITY& cap) {
    cap.hContainer = BuildBlock(kOneValueSize, [&](std::uint8_t* block) {
        PutU16(block, kItemType, itemType);  // ItemType
        PutU32(block, kOneValueItem, item);  // Item
    });
    return cap.hContainer != nullptr ? TWCC_SUCCESS : TWCC_LOWMEMORY;
}

}  // namespace

void Capability::Initialize(const CapabilityInit& init) noexcept {
    id = init.id;
    container = init.container;
    itemType = init.itemType;
    supportedMask = init.supportedMask;
    allowedMask = init.supportedMask;
    minimum = init.minimum;
    maximum = init.maximum;
    current = init.current;
    defaultValue = init.defaultValue;
    step = init.step;
    initialCurrent = current;
    initialMinimum = minimum;
    initialMaximum = maximum;
    initialStep = step;
    operations = init.operations;
    scale = ScaleOf(init.scale);
}

TW_UINT16 Capability::Get(TW_CAPABILITY& cap) noexcept {
    cap.ConType = container;
    switch (container) {
    case TWON_ENUMERATION:
        return GetEnumeration(cap);
    case TWON_RANGE:
        return GetRange(cap);
    default:
        return StoreOneValue(itemType, itemType == TWTY_FIX32 ? Fix32Item(current, scale) : SignExtend(current), cap);
    }
}

TW_UINT16 Capability::GetEnumeration(TW_CAPABILITY& cap) noexcept {
    // The list holds the values both supported and still allowed, rising.
    const TW_UINT32 listed = supportedMask & allowedMask;
    TW_UINT32 count = 0;
    TW_UINT32 currentIndex = 0;
    TW_UINT32 defaultIndex = 0;
    for (unsigned value = 0; value < 32; ++value) {
        if ((listed >> value & 1) == 0) continue;
        if (static_cast<TW_INT32>(value) == current) currentIndex = count;
        if (static_cast<TW_INT32>(value) == defaultValue) defaultIndex = count;
        ++count;
    }

    // Two spare bytes follow the items.
    const std::size_t size = kEnumItemList + 2 * std::size_t{count} + 2;
    cap.hContainer = BuildBlock(size, [&](std::uint8_t* block) {
        PutU16(block, kItemType, itemType);                // ItemType
        PutU32(block, kEnumNumItems, count);               // NumItems
        PutU32(block, kEnumCurrentIndex, currentIndex);    // CurrentIndex
        PutU32(block, kEnumDefaultIndex, defaultIndex);    // DefaultIndex
        std::size_t offset = kEnumItemList;
        for (unsigned value = 0; value < 32; ++value) {
            if ((listed >> value & 1) == 0) continue;
            PutU16(block, offset, static_cast<std::uint16_t>(value));  // ItemList[i]
            offset += 2;
        }
    });
    return cap.hContainer != nullptr ? TWCC_SUCCESS : TWCC_LOWMEMORY;
}

TW_UINT16 Capability::GetRange(TW_CAPABILITY& cap) noexcept {
    // A TW_FIX32 range holds fixed-point items: a negative whole value
    // sign-extended would carry a Frac of 0xFFFF.
    const auto item = [&](TW_INT16 value) { return Item(value); };
    cap.hContainer = BuildBlock(kRangeSize, [&](std::uint8_t* block) {
        PutU16(block, kItemType, itemType);                      // ItemType
        PutU32(block, kRangeMinValue, item(minimum));            // MinValue
        PutU32(block, kRangeMaxValue, item(maximum));            // MaxValue
        PutU32(block, kRangeStepSize, item(step));               // StepSize
        PutU32(block, kRangeDefaultValue, item(defaultValue));   // DefaultValue
        PutU32(block, kRangeCurrentValue, item(current));        // CurrentValue
    });
    return cap.hContainer != nullptr ? TWCC_SUCCESS : TWCC_LOWMEMORY;
}

TW_UINT16 Capability::GetBoolEnumeration(TW_CAPABILITY& cap) noexcept {
    cap.ConType = TWON_ENUMERATION;
    const TW_INT16 low = minimum < 0 ? 0 : minimum > 1 ? 1 : minimum;
    const TW_INT16 high = maximum < low ? low : maximum > 1 ? 1 : maximum;
    const TW_UINT32 count = static_cast<TW_UINT32>(high - low + 1);
    const auto indexOf = [&](TW_INT16 value) { return value >= low && value <= high ? TW_UINT32(value - low) : 0u; };
    cap.hContainer = BuildBlock(kEnumItemList + 2 * std::size_t{count}, [&](std::uint8_t* block) {
        PutU16(block, kItemType, TWTY_BOOL);                         // ItemType
        PutU32(block, kEnumNumItems, count);                         // NumItems
        PutU32(block, kEnumCurrentIndex, indexOf(current));          // CurrentIndex
        PutU32(block, kEnumDefaultIndex, indexOf(defaultValue));     // DefaultIndex
        for (TW_UINT32 i = 0; i < count; ++i) {
            PutU16(block, kEnumItemList + 2 * i, static_cast<std::uint16_t>(low + i));  // ItemList[i]
        }
    });
    return cap.hContainer != nullptr ? TWCC_SUCCESS : TWCC_LOWMEMORY;
}

TW_UINT16 Capability::GetCurrent(TW_CAPABILITY& cap) noexcept {
    cap.ConType = TWON_ONEVALUE;
    return MakeOneValue(SignExtend(current), cap);
}

TW_UINT16 Capability::GetDefault(TW_CAPABILITY& cap) noexcept {
    cap.ConType = TWON_ONEVALUE;
    return MakeOneValue(SignExtend(defaultValue), cap);
}

TW_UINT16 Capability::MakeOneValue(TW_UINT32 value, TW_CAPABILITY& cap) noexcept {
    TW_UINT32 item = 0;
    switch (itemType) {
    case TWTY_INT8:
        item = static_cast<TW_UINT32>(static_cast<TW_INT32>(static_cast<TW_INT8>(value & 0xFF)));
        break;
    case TWTY_INT16:
        item = static_cast<TW_UINT32>(static_cast<TW_INT32>(static_cast<TW_INT16>(value & 0xFFFF)));
        break;
    case TWTY_UINT8:
        item = value & 0xFF;
        break;
    case TWTY_UINT16:
    case TWTY_BOOL:
        item = value & 0xFFFF;
        break;
    case TWTY_FIX32:
        // The same number MSG_GET answers, so the three messages agree.
        item = Fix32Item(static_cast<TW_INT16>(value & 0xFFFF), scale);
        break;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_STR32:
    case TWTY_STR64:
    case TWTY_STR128:
    case TWTY_STR255:
        item = value;
        break;
    default:
        // TWTY_FRAME and unknown types carry no meaningful 32-bit item: 0.
        item = 0;
        break;
    }
    return StoreOneValue(itemType, item, cap);
}

TW_UINT16 Capability::Set(const TW_CAPABILITY& cap, bool* rounded) noexcept {
    bool ignored = false;
    if (rounded == nullptr) rounded = &ignored;
    *rounded = false;
    platform::LockedBlock locked(cap.hContainer);
    if (!locked) return TWCC_LOWMEMORY;
    // Everything read below is bounded by what the block really holds, not
    // by the counts the application wrote into it.
    const std::uint64_t size = platform::GlobalBlockSize(cap.hContainer);
    // A plain pointer passed as a handle locks to itself on Windows, with
    // whatever size the heap guesses for it: the bytes must really be there.
    if (!platform::IsReadable(locked.bytes(), static_cast<std::size_t>(size))) return TWCC_LOWMEMORY;
    switch (cap.ConType) {
    case TWON_ENUMERATION:
        return SetFromEnumeration(locked.bytes(), size);
    case TWON_ONEVALUE:
        if (itemType == TWTY_FIX32) return SetNumbersFromOneValue(locked.bytes(), size, rounded);
        return SetFromOneValue(locked.bytes(), size);
    case TWON_RANGE:
        if (itemType == TWTY_FIX32) return SetNumbersFromRange(locked.bytes(), size, rounded);
        return SetFromRange(locked.bytes(), size);
    default:
        return TWCC_BADPROTOCOL;
    }
}

TW_UINT16 Capability::SetFromEnumeration(const std::uint8_t* block, std::uint64_t blockSize) noexcept {
    if (blockSize < kEnumItemList) return TWCC_BADVALUE;
    const TW_UINT16 listType = GetU16(block, kItemType);
    const TW_UINT32 numItems = GetU32(block, kEnumNumItems);
    const TW_UINT32 currentIndex = GetU32(block, kEnumCurrentIndex);

    // An empty list is accepted whatever its item type and allows nothing.
    // A list of a type the source cannot read is refused as a whole.
    const unsigned itemSize = ItemSize(listType);
    if (numItems != 0 && itemSize == 0) return TWCC_BADVALUE;
    if (kEnumItemList + std::uint64_t{numItems} * itemSize > blockSize) return TWCC_BADVALUE;

    TW_UINT32 allowed = 0;
    bool haveCurrent = false;
    TW_INT16 newCurrent = 0;
    for (TW_UINT32 i = 0; i < numItems; ++i) {
        const std::size_t offset = kEnumItemList + std::size_t{i} * itemSize;
        TW_UINT32 raw = 0;
        TW_INT16 asCurrent = 0;
        switch (itemSize) {
        case 1:
            raw = GetU8(block, offset);
            asCurrent = listType == TWTY_INT8 ? static_cast<TW_INT16>(static_cast<TW_INT8>(raw))
                                              : static_cast<TW_INT16>(raw);
            break;
        case 2:
            raw = GetU16(block, offset);
            asCurrent = static_cast<TW_INT16>(raw);
            break;
        default:
            raw = GetU32(block, offset);
            asCurrent = static_cast<TW_INT16>(raw & 0xFFFF);
            break;
        }
        // Values are taken modulo 32; a negative value's low five bits are
        // the same whatever width it is read or extended to.
        allowed |= TW_UINT32{1} << (raw & 31);
        if (i == currentIndex) {
            haveCurrent = true;
            newCurrent = asCurrent;
        }
    }

    // Values the source does not support may enter the allowed set; MSG_GET
    // lists only those that are also supported.
    allowedMask = allowed;
    if (haveCurrent) current = newCurrent;
    return TWCC_SUCCESS;
}

TW_UINT16 Capability::SetFromOneValue(const std::uint8_t* block, std::uint64_t blockSize) noexcept {
    if (blockSize < kOneValueSize) return TWCC_BADVALUE;
    const TW_INT16 value = static_cast<TW_INT16>(GetU16(block, kOneValueItem));
    // The current bounds, which a range MSG_SET may have narrowed.
    if (value < minimum || value > maximum) return TWCC_BADVALUE;
    current = value;
    return TWCC_SUCCESS;
}

TW_UINT16 Capability::SetFromRange(const std::uint8_t* block, std::uint64_t blockSize) noexcept {
    if (blockSize < kRangeSize) return TWCC_BADVALUE;
    const TW_UINT32 minValue = GetU32(block, kRangeMinValue);
    const TW_UINT32 maxValue = GetU32(block, kRangeMaxValue);
    const TW_UINT32 stepSize = GetU32(block, kRangeStepSize);
    const TW_UINT32 currentValue = GetU32(block, kRangeCurrentValue);

    // Unsigned comparison against the initial bounds, kept as applications
    // have always seen it: a negative initial minimum becomes 0xFFFF...,
    // so a capability such as CAP_XFERCOUNT refuses every range.
    const TW_UINT32 lowest = SignExtend(initialMinimum);
    const TW_UINT32 highest = SignExtend(initialMaximum);
    if (container == TWON_RANGE) {
        // A capability that is a range itself takes its own range back,
        // negative bounds too: its items are compared as the signed
        // numbers they are.
        const auto number = [&](TW_UINT32 item) {
            return itemType == TWTY_INT16 || itemType == TWTY_INT8 ? TW_INT32{static_cast<TW_INT16>(item & 0xFFFF)}
                                                                    : static_cast<TW_INT32>(item);
        };
        const TW_INT32 low = number(minValue), high = number(maxValue), value = number(currentValue);
        if (low < initialMinimum || high > initialMaximum || low > high || value < low || value > high) {
            return TWCC_BADVALUE;
        }
    } else if (minValue < lowest || maxValue > highest || currentValue < lowest || currentValue > highest) {
        return TWCC_BADVALUE;
    }
    minimum = static_cast<TW_INT16>(minValue & 0xFFFF);
    maximum = static_cast<TW_INT16>(maxValue & 0xFFFF);
    current = static_cast<TW_INT16>(currentValue & 0xFFFF);
    step = static_cast<TW_INT16>(stepSize & 0xFFFF);
    return TWCC_SUCCESS;
}

// A TW_FIX32 capability reads the whole number the item means, so that a
// fraction in Frac, or a 32-bit value, is never taken for its low 16 bits.
TW_UINT16 Capability::SetNumbersFromOneValue(const std::uint8_t* block, std::uint64_t blockSize,
                                             bool* rounded) noexcept {
    if (blockSize < kOneValueSize) return TWCC_BADVALUE;
    std::int64_t value = 0;
    bool wasRounded = false;
    if (!ReadNumber(GetU16(block, kItemType), GetU32(block, kOneValueItem), scale, &value, &wasRounded)) {
        return TWCC_BADVALUE;
    }
    if (value < minimum || value > maximum) return TWCC_BADVALUE;
    current = static_cast<TW_INT16>(value);
    *rounded = wasRounded;
    return TWCC_SUCCESS;
}

TW_UINT16 Capability::SetNumbersFromRange(const std::uint8_t* block, std::uint64_t blockSize, bool* rounded) noexcept {
    if (blockSize < kRangeSize) return TWCC_BADVALUE;
    const TW_UINT16 type = GetU16(block, kItemType);
    std::int64_t low = 0, high = 0, stepSize = 0, value = 0;
    bool wasRounded = false;
    if (!ReadNumber(type, GetU32(block, kRangeMinValue), scale, &low, &wasRounded) ||
        !ReadNumber(type, GetU32(block, kRangeMaxValue), scale, &high, &wasRounded) ||
        !ReadNumber(type, GetU32(block, kRangeStepSize), scale, &stepSize, &wasRounded) ||
        !ReadNumber(type, GetU32(block, kRangeCurrentValue), scale, &value, &wasRounded)) {
        return TWCC_BADVALUE;
    }
    if (low < initialMinimum || high > initialMaximum || low > high || value < low || value > high || stepSize < 0 ||
        stepSize > INT16_MAX) {
        return TWCC_BADVALUE;
    }
    minimum = static_cast<TW_INT16>(low);
    maximum = static_cast<TW_INT16>(high);
    current = static_cast<TW_INT16>(value);
    step = static_cast<TW_INT16>(stepSize);
    *rounded = wasRounded;
    return TWCC_SUCCESS;
}

TW_UINT32 Capability::Item(TW_INT16 value) const noexcept {
    return itemType == TWTY_FIX32 ? Fix32Item(value, scale) : SignExtend(value);
}

void Capability::Reset() noexcept {
    current = initialCurrent;
    minimum = initialMinimum;
    maximum = initialMaximum;
    step = initialStep;
    allowedMask = supportedMask;
}
