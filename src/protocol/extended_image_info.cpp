// DAT_EXTIMAGEINFO: while an image is pending (after its transfer, before
// MSG_ENDXFER), the application hands a TW_EXTIMAGEINFO naming the items it
// wants and the source fills each one in. A value that fits TW_UINTPTR is
// the Item itself; the frame goes in a block of its own, made as every
// block for the application is, which the application frees. An item the
// source does not know is answered TWRC_INFONOTSUPPORTED in its ReturnCode
// and the call still succeeds.
//
// The structure is the application's: NumInfos is believed only as far as
// the memory behind it reaches, and every field is written byte by byte, so
// neither its alignment nor its size can take the source anywhere else.
#include "protocol/extended_image_info.h"

#include <cstdint>
#include <cstring>

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "capabilities/capability_table.h"
#include "capabilities/container_block.h"
#include "imaging/units.h"
#include "platform/pointer_check.h"
#include "protocol/handlers.h"
#include "protocol/manager_services.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

using namespace containers;

namespace {

// Field offsets of one TW_INFO.
constexpr std::size_t kInfoId = 0;
constexpr std::size_t kInfoItemType = 2;
constexpr std::size_t kInfoNumItems = 4;
constexpr std::size_t kInfoReturnCode = 6;
constexpr std::size_t kInfoItem = 8;
constexpr std::size_t kInfosAt = 4;  // TW_EXTIMAGEINFO.Info
// One for every InfoID there can be: a larger count is no request.
constexpr std::uint32_t kMostInfos = 0x10000;

void PutItem(std::uint8_t* info, TW_UINTPTR value) { std::memcpy(info + kInfoItem, &value, sizeof value); }

void Answer(std::uint8_t* info, TW_UINT16 itemType, TW_UINTPTR value) {
    PutU16(info, kInfoItemType, itemType);
    PutU16(info, kInfoNumItems, 1);
    PutU16(info, kInfoReturnCode, TWRC_SUCCESS);
    PutItem(info, value);
}

void NotSupported(std::uint8_t* info) {
    PutU16(info, kInfoItemType, 0);
    PutU16(info, kInfoNumItems, 0);
    PutU16(info, kInfoReturnCode, TWRC_INFONOTSUPPORTED);
    PutItem(info, 0);
}

// The frame scanned, in the application's unit, in a block of its own.
platform::GlobalHandle FrameBlock(const Rect32& frame) {
    const TW_FIX32 edges[4] = {ToFix32(InternalToUnits(frame.left)), ToFix32(InternalToUnits(frame.top)),
                               ToFix32(InternalToUnits(frame.right)), ToFix32(InternalToUnits(frame.bottom))};
    return BuildBlock(sizeof(TW_FRAME), [&](std::uint8_t* block) {
        for (std::size_t i = 0; i < 4; ++i) {
            PutU16(block, 4 * i, static_cast<std::uint16_t>(edges[i].Whole));
            PutU16(block, 4 * i + 2, edges[i].Frac);
        }
    });
}

}  // namespace

TW_UINT16 ExtImageInfoHandler(const TripletRequest* request) noexcept {
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL);
    if (sourceState != 600) return Refuse(TWCC_SEQERROR);
    ScanSession* session = CurrentSession();
    if (session == nullptr) return Refuse(TWCC_SEQERROR);
    // The application switched the information off.
    const Capability* wanted = capabilityTable.Lookup(ICAP_EXTIMAGEINFO);
    if (wanted == nullptr || wanted->current == 0) return Refuse(TWCC_SEQERROR);

    auto* head = static_cast<std::uint8_t*>(request->data);
    if (!platform::IsWritable(head, kInfosAt)) return Refuse(TWCC_BADVALUE);
    const std::uint32_t count = GetU32(head, 0);
    if (count > kMostInfos ||
        !platform::IsWritable(head, kInfosAt + std::size_t(count) * sizeof(TW_INFO))) {
        return Refuse(TWCC_BADVALUE);
    }

    const Rect32 frame = session->ScannedFrame();
    const TW_UINT16 flavor = session->ScanInverted() ? TWPF_VANILLA : TWPF_CHOCOLATE;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* info = head + kInfosAt + std::size_t(i) * sizeof(TW_INFO);
        switch (GetU16(info, kInfoId)) {
        case TWEI_DOCUMENTNUMBER: Answer(info, TWTY_UINT32, 1); break;
        case TWEI_PAGENUMBER: Answer(info, TWTY_UINT32, static_cast<TW_UINTPTR>(session->Page())); break;
        case TWEI_FRAMENUMBER: Answer(info, TWTY_UINT32, 1); break;
        case TWEI_PIXELFLAVOR: Answer(info, TWTY_UINT16, flavor); break;
        case TWEI_PAGESIDE: Answer(info, TWTY_UINT16, TWCS_TOP); break;
        case kInfoBlankSheetsBefore:
            Answer(info, TWTY_UINT32, static_cast<TW_UINTPTR>(session->BlankSheetsBefore()));
            break;
        case TWEI_FRAME: {
            platform::GlobalHandle block = FrameBlock(frame);
            if (block == nullptr) {
                // No block: the frames already answered go back, and the
                // application hears of the memory.
                for (std::uint32_t j = 0; j < i; ++j) {
                    std::uint8_t* earlier = head + kInfosAt + std::size_t(j) * sizeof(TW_INFO);
                    if (GetU16(earlier, kInfoId) != TWEI_FRAME) continue;
                    TW_UINTPTR handle = 0;
                    std::memcpy(&handle, earlier + kInfoItem, sizeof handle);
                    application_memory::Free(reinterpret_cast<platform::GlobalHandle>(handle));
                    PutItem(earlier, 0);
                }
                return Refuse(TWCC_LOWMEMORY);
            }
            Answer(info, TWTY_FRAME, reinterpret_cast<TW_UINTPTR>(block));
            break;
        }
        default: NotSupported(info); break;
        }
    }
    return TWRC_SUCCESS;
}
