// DAT_IMAGEINFO: the description of the image about to be transferred. It
// is asked for before the first read, so the geometry comes from the
// scanner's answers for the scan just set up, and the depth and resolution from
// the set-up itself (not from what the window shows since).
#include <cstring>

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "protocol/handlers.h"
#include "protocol/image_transfers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

TW_UINT16 ImageInfoHandler(const TripletRequest* request) noexcept {
    if (sourceState != 600) return Refuse(TWCC_SEQERROR);
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL);
    auto* info = WritableData<TW_IMAGEINFO>(request);
    if (info == nullptr) return Refuse(TWCC_BADVALUE);
    ScanSession* session = CurrentSession();
    if (session == nullptr) return Refuse(TWCC_SEQERROR);

    // The final scan takes both axes at the X resolution, so a turned image
    // keeps it on both; its width and length are the turned image's.
    const TW_FIX32 resolution{static_cast<TW_INT16>(session->ScanResolution() & 0xFFFF), 0};
    info->XResolution = resolution;
    info->YResolution = resolution;
    info->ImageWidth = static_cast<TW_INT32>(session->ImageWidth());
    info->ImageLength = static_cast<TW_INT32>(session->ImageLength());

    const auto bitsPerPixel = static_cast<TW_INT16>(session->ScanType().bitsPerPixel);
    info->BitsPerPixel = bitsPerPixel;
    std::memset(info->BitsPerSample, 0, sizeof info->BitsPerSample);
    if (bitsPerPixel < 24) {
        info->SamplesPerPixel = 1;
        info->BitsPerSample[0] = bitsPerPixel;
        info->PixelType = bitsPerPixel == 8 ? TWPT_GRAY : TWPT_BW;
    } else {
        info->SamplesPerPixel = 3;
        info->BitsPerSample[0] = 8;
        info->BitsPerSample[1] = 8;
        info->BitsPerSample[2] = 8;
        info->PixelType = TWPT_RGB;
    }
    info->Planar = 0;
    info->Compression = CompressionOfTransfer(session->ScanType().bitsPerPixel);
    return TWRC_SUCCESS;
}
