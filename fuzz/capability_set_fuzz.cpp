// Feeds arbitrary containers to MSG_SET through the DAT_CAPABILITY handler:
// the first byte picks the capability, the second the container type the
// application claims, the rest is the block exactly as the application
// allocated it. Every capability then answers MSG_GET, so whatever MSG_SET
// let through is also encoded.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "capabilities/capability_table.h"
#include "platform/global_memory.h"
#include "protocol/handlers.h"

namespace {

TW_UINT16 Call(TW_UINT16 msg, TW_CAPABILITY* cap) {
    TripletRequest request{nullptr, DG_CONTROL, DAT_CAPABILITY, msg, cap};
    return CapabilityHandler(&request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    if (!capabilityTable.IsBuilt()) capabilityTable.Build();

    const TW_UINT16 id = data[0] < kCapabilityCount ? CapabilityInitTable[data[0]].id : TW_UINT16{data[0]};
    const TW_UINT16 conType = data[1] & 0x80 ? TW_UINT16{data[1]} : TW_UINT16(TWON_ARRAY + (data[1] & 3));
    const std::size_t blockSize = size - 2;

    platform::GlobalHandle block = platform::GlobalAllocate(platform::kGmemShareable, blockSize);
    if (block == nullptr) return 0;
    {
        platform::LockedBlock locked(block);
        if (blockSize != 0) std::memcpy(locked.get(), data + 2, blockSize);
    }

    TW_CAPABILITY cap{id, conType, block};
    Call(MSG_SET, &cap);
    // The feeder capabilities answer MSG_SET with a new block.
    TW_HANDLE answer = cap.hContainer;
    if (answer != block) platform::GlobalFreeBlock(answer);
    platform::GlobalFreeBlock(block);

    for (std::size_t i = 0; i < kCapabilityCount; ++i) {
        TW_CAPABILITY get{CapabilityInitTable[i].id, 0, nullptr};
        Call(MSG_GET, &get);
        platform::GlobalFreeBlock(get.hContainer);
    }
    // Start the next input from a fresh table half of the time, so that
    // negotiated state also accumulates across inputs.
    if (data[0] & 0x40) capabilityTable.Build();
    return 0;
}
