// Feeds set-up blocks to MSG_SET of DAT_CUSTOMDSDATA on an open source. The
// first byte chooses: bit 0, the rest of the input is laid over the source's
// own MSG_GET block (exclusive or), so that most inputs are nearly whole
// blocks; bit 1, the block's length and checksum are made right, so that
// entries and values are reached. A refused block must leave the set-up as
// it was; a block taken must be what MSG_GET answers afterwards.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/scanner_library.h"
#include "module/source_app.h"
#include "platform/global_memory.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "protocol/setup_block.h"
#include "simulated_library.h"

extern "C" TW_UINT16 TW_CALLINGSTYLE DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                              TW_MEMREF data);

namespace {

TW_IDENTITY app{};

std::vector<std::uint8_t> Block(TW_UINT16 msg, std::vector<std::uint8_t> bytes = {}) {
    TW_CUSTOMDSDATA data{static_cast<TW_UINT32>(bytes.size()), nullptr};
    if (msg == MSG_SET && (data.hData = platform::GlobalAllocate(platform::kGmemShareable, bytes.size())) != nullptr) {
        std::memcpy(platform::LockedBlock(data.hData).get(), bytes.data(), bytes.size());
    }
    const bool taken = DS_Entry(&app, DG_CONTROL, DAT_CUSTOMDSDATA, msg, &data) == TWRC_SUCCESS;
    if (msg == MSG_GET && taken) {
        bytes.resize(data.InfoLength);
        std::memcpy(bytes.data(), platform::LockedBlock(data.hData).get(), bytes.size());
    }
    platform::GlobalFreeBlock(data.hData);
    if (!taken) bytes.clear();
    return bytes;
}

// A region of all zeros (kept by an older source) is the whole bed.
bool SameRegion(const setup_block::Region& given, const setup_block::Region& held) {
    const bool none = given.left == 0 && given.top == 0 && given.right == 0 && given.bottom == 0;
    return none ? !held.IsEmpty() : given == held;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/vorel-setup-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    platform::SetProfileFolder(pattern);
    SetScannerLibraryForTesting(&SimulatedScannerLibrary());
    platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return platform::kAnswerOk; });
    theApp.InitInstance(nullptr);
    app.Id = 7;
    TW_IDENTITY source{};
    DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &source);
    if (DS_Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source) != TWRC_SUCCESS) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::vector<std::uint8_t> before = Block(MSG_GET);
    std::vector<std::uint8_t> block = data[0] & 1 ? before : std::vector<std::uint8_t>{};
    if (block.size() < size - 1) block.resize(size - 1);
    for (std::size_t i = 1; i < size; ++i) block[i - 1] ^= data[i];
    if ((data[0] & 2) && block.size() >= 16) {
        const auto length = static_cast<std::uint32_t>(block.size());
        const std::uint32_t crc = setup_block::Crc32(block.data(), block.size() - 4);
        for (int i = 0; i < 4; ++i) {
            block[8 + i] = static_cast<std::uint8_t>(length >> 8 * i);
            block[block.size() - 4 + i] = static_cast<std::uint8_t>(crc >> 8 * i);
        }
    }
    const bool taken = !Block(MSG_SET, block).empty();
    const std::vector<std::uint8_t> after = Block(MSG_GET);
    if (!taken) {
        if (after != before) __builtin_trap();  // a refused block changed the set-up
        return 0;
    }
    setup_block::SetupBlock given, held;
    if (!setup_block::Decode(block.data(), block.size(), &given) ||
        !setup_block::Decode(after.data(), after.size(), &held) || given.capabilityCount != held.capabilityCount ||
        !SameRegion(given.region, held.region) || given.imageType != held.imageType) {
        __builtin_trap();
    }
    const auto heldEnd = held.capabilities.begin() + static_cast<std::ptrdiff_t>(held.capabilityCount);
    for (std::size_t i = 0; i < given.capabilityCount; ++i) {
        if (std::find(held.capabilities.begin(), heldEnd, given.capabilities[i]) == heldEnd) __builtin_trap();
    }
    return 0;
}
