// The set-up of transfers: memory buffer sizes (DAT_SETUPMEMXFER), the
// transfer file's name and format (DAT_SETUPFILEXFER), and the data group
// of transfers (DAT_XFERGROUP, always DG_IMAGE).
#include <algorithm>
#include <cstring>

#include "capabilities/capability_table.h"
#include "platform/file.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

const char kMemPrefix[] = "General failure in response to DAT_SETUPMEMXFER, not supported.  ";
const char kFilePrefix[] = "General failure in response to DAT_SETUPFILEXFER, not supported.  ";
const char kGroupPrefix[] = "General failure in response to DAT_XFERGROUP, not supported.  ";

constexpr TW_UINT32 kMinBufSize = 4096;
constexpr TW_UINT32 kMaxBufSize = 64000;

bool SourceIsOpen() { return sourceState >= 400 && sourceState <= 600; }

TW_UINT16 GetFileSetup(const TripletRequest* request) {
    Capability& format = capabilityTable.Find(ICAP_IMAGEFILEFORMAT);
    if (format.id != ICAP_IMAGEFILEFORMAT) return Refuse(TWCC_BUMMER);
    auto* setup = WritableData<TW_SETUPFILEXFER>(request);
    if (setup == nullptr) return Refuse(TWCC_BADVALUE, kFilePrefix);
    std::memset(setup->FileName, 0, sizeof setup->FileName);
    std::memcpy(setup->FileName, transferFileName.data(), std::min<std::size_t>(transferFileName.size(), 255));
    setup->Format = static_cast<TW_UINT16>(format.current);
    setup->VRefNum = 0;
    return TWRC_SUCCESS;
}

// The format is checked before the file is touched: a refused request must
// not empty a file the user already has.
TW_UINT16 SetFileSetup(const TripletRequest* request) {
    const auto* setup = ReadableData<TW_SETUPFILEXFER>(request);
    if (setup == nullptr) return Refuse(TWCC_BADVALUE, kFilePrefix);
    transferFileName.assign(setup->FileName, strnlen(setup->FileName, 255));
    if (setup->Format != TWFF_TIFF && setup->Format != TWFF_BMP) {
        transferFileName.clear();
        return Refuse(TWCC_BADVALUE);
    }
    platform::File test;
    if (!test.Open(transferFileName.c_str(), platform::FileMode::CreateReadWrite)) {
        transferFileName.clear();
        return Refuse(TWCC_BADVALUE);
    }
    Capability& format = capabilityTable.Find(ICAP_IMAGEFILEFORMAT);
    if (format.id != ICAP_IMAGEFILEFORMAT) return Refuse(TWCC_BUMMER);
    format.current = static_cast<TW_INT16>(setup->Format);
    return TWRC_SUCCESS;
}

}  // namespace

TW_UINT16 SetupMemXferHandler(const TripletRequest* request) noexcept {
    if (!SourceIsOpen()) return Refuse(TWCC_SEQERROR, kMemPrefix);
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL, kMemPrefix);
    auto* setup = WritableData<TW_SETUPMEMXFER>(request);
    if (setup == nullptr) return Refuse(TWCC_BADVALUE, kMemPrefix);
    setup->MinBufSize = kMinBufSize;
    setup->MaxBufSize = kMaxBufSize;
    setup->Preferred = kMaxBufSize;
    return TWRC_SUCCESS;
}

TW_UINT16 SetupFileXferHandler(const TripletRequest* request) noexcept {
    if (!SourceIsOpen()) return Refuse(TWCC_SEQERROR, kFilePrefix);
    switch (request->msg) {
        case MSG_GET:
        case MSG_GETCURRENT:
        case MSG_GETDEFAULT:
            return GetFileSetup(request);
        case MSG_SET:
            try {
                return SetFileSetup(request);
            } catch (...) {  // the name could not be stored
                transferFileName.clear();
                return Refuse(TWCC_LOWMEMORY);
            }
        default:
            return Refuse(TWCC_BADPROTOCOL, kFilePrefix);
    }
}

TW_UINT16 XferGroupHandler(const TripletRequest* request) noexcept {
    if (!SourceIsOpen()) return Refuse(TWCC_SEQERROR, kGroupPrefix);
    switch (request->msg) {
        case MSG_GET:
        case MSG_GETCURRENT:
        case MSG_GETDEFAULT:
        case MSG_RESET: {
            auto* group = WritableData<TW_UINT32>(request);
            if (group == nullptr) return Refuse(TWCC_BADVALUE, kGroupPrefix);
            *group = DG_IMAGE;
            return TWRC_SUCCESS;
        }
        case MSG_SET:
            return TWRC_SUCCESS;  // only images are transferred; the value is not looked at
        default:
            return Refuse(TWCC_BADPROTOCOL, kGroupPrefix);
    }
}
