// The set-up of transfers: memory buffer sizes (DAT_SETUPMEMXFER), the
// transfer file's name and format (DAT_SETUPFILEXFER), and the data group
// of transfers (DAT_XFERGROUP, always DG_IMAGE).
#include <algorithm>
#include <cstring>

#include "capabilities/capability_table.h"
#include "capabilities/compression_rules.h"
#include "capabilities/page_turn.h"
#include "imaging/dib_format.h"
#include "acquisition/current_session.h"
#include "acquisition/image_types.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "device/scan_reads.h"
#include "platform/file.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

const char kMemPrefix[] = "General failure in response to DAT_SETUPMEMXFER, not supported.  ";
const char kFilePrefix[] = "General failure in response to DAT_SETUPFILEXFER, not supported.  ";
const char kGroupPrefix[] = "General failure in response to DAT_XFERGROUP, not supported.  ";

bool SourceIsOpen() { return sourceState >= 400 && sourceState <= 600; }

// The bytes of a strip's row (padded to four) of the image a memory
// transfer hands over: the pending image's in state 600; before the final
// scan, the widest the negotiated type and resolution can give over the
// scan region (the whole bed when there is none).
TW_UINT32 ImageRowBytes() {
    ScanSession* session = CurrentSession();
    if (session == nullptr) return 0;
    if (sourceState == 600) {
        const std::uint32_t bytes = session->ImageBytesPerLine();
        return bytes > 0 ? RowStride(bytes) : 0;
    }
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    if (session->window() != nullptr) session->window()->GetScanRegion(&left, &top, &right, &bottom);
    // A page turned a quarter has the region's height as its line.
    const bool across = QuarterTurns(capabilityTable) % 2 == 1;
    std::int64_t width = across ? std::int64_t(bottom) - top : std::int64_t(right) - left;
    if (width <= 0 || bottom <= top || right <= left) {
        width = capabilityTable.Find(across ? ICAP_PHYSICALHEIGHT : ICAP_PHYSICALWIDTH).current;
    }
    const Capability& resolution = capabilityTable.Find(ICAP_XRESOLUTION);
    const std::int64_t dpi = resolution.id == ICAP_XRESOLUTION ? std::max<TW_INT16>(resolution.current, 0) : 0;
    // The scanner scales the line too (ICAP_XSCALING in hundredths).
    const Capability* scaling = capabilityTable.Lookup(ICAP_XSCALING);
    const std::int64_t percent = scaling != nullptr ? std::max<TW_INT16>(scaling->current, 0) : 100;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(std::max<std::int64_t>(width, 0) * dpi * percent + 29999) / 30000;
    const std::uint64_t bytes = (pixels * ImageTypeTable[NegotiatedImageType()].bitsPerPixel + 7) / 8;
    return RowStride(static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, 1u << 30)));
}

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

// The format and the folder are checked; the file itself is left as it is
// until a transfer has written the whole image.
TW_UINT16 SetFileSetup(const TripletRequest* request) {
    const auto* setup = ReadableData<TW_SETUPFILEXFER>(request);
    if (setup == nullptr) return Refuse(TWCC_BADVALUE, kFilePrefix);
    transferFileName.assign(setup->FileName, strnlen(setup->FileName, 255));
    const Capability& formats = capabilityTable.Find(ICAP_IMAGEFILEFORMAT);
    if (setup->Format > 31 || (formats.supportedMask >> setup->Format & 1) == 0) {
        transferFileName.clear();
        return Refuse(TWCC_BADVALUE);
    }
    // The named file is not touched before a transfer succeeds: only its
    // folder is tried, with the new file a transfer would write there.
    if (!CanWriteTransferFile(transferFileName.c_str())) {
        transferFileName.clear();
        return Refuse(TWCC_BADVALUE);
    }
    Capability& format = capabilityTable.Find(ICAP_IMAGEFILEFORMAT);
    if (format.id != ICAP_IMAGEFILEFORMAT) return Refuse(TWCC_BUMMER);
    format.current = static_cast<TW_INT16>(setup->Format);
    // A format that cannot carry the compression set takes one it can.
    FollowCompression(capabilityTable, true);
    // Another name ends the multi-page file of the name before.
    if (ScanSession* session = CurrentSession()) session->EndDocumentUnlessNamed(transferFileName.c_str());
    return TWRC_SUCCESS;
}

}  // namespace

TW_UINT16 SetupMemXferHandler(const TripletRequest* request) noexcept {
    if (!SourceIsOpen()) return Refuse(TWCC_SEQERROR, kMemPrefix);
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL, kMemPrefix);
    auto* setup = WritableData<TW_SETUPMEMXFER>(request);
    if (setup == nullptr) return Refuse(TWCC_BADVALUE, kMemPrefix);
    // A strip holds whole rows: the least buffer holds one, the preferred
    // one as many as the largest buffer takes.
    const TW_UINT32 row = std::min(ImageRowBytes(), kMaxScanRead);
    setup->MinBufSize = std::max(kMinMemoryStrip, row);
    setup->MaxBufSize = kMaxScanRead;
    setup->Preferred = row == 0 ? kMaxScanRead : kMaxScanRead / row * row;
    setup->Preferred = std::max(setup->Preferred, setup->MinBufSize);
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
