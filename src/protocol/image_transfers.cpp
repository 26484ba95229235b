// The three transfer triplets: DAT_IMAGENATIVEXFER (one packed DIB in a
// global memory block), DAT_IMAGEMEMXFER (strips of whole rows in the
// application's buffers) and DAT_IMAGEFILEXFER (a BMP or TIFF file). They
// check what the application hands over and keep the memory transfer's
// bookkeeping; the session's readers (acquisition/scan_readers.cpp) read the
// scan from the scanner while it is handed over.
#include "protocol/image_transfers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "capabilities/capability_table.h"
#include "capabilities/compression_rules.h"
#include "device/error_message.h"
#include "device/scan_reads.h"
#include "imaging/dib_format.h"
#include "platform/global_memory.h"
#include "platform/pointer_check.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

const char kNativePrefix[] = "General failure in response to DAT_IMAGENATIVEXFER.  ";

// Set once the memory transfer has delivered its last strip or failed for
// good; the next call answers TWRC_XFERDONE and starts afresh.
bool memXferDone = false;
// Bytes, row padding included, delivered by the memory transfer so far.
std::uint32_t memXferTotal = 0;
// The compression of the memory transfer under way, taken at its first
// strip (TWCP_NONE: rows as the scanner sends them).
TW_UINT16 memXferCompression = TWCP_NONE;
bool memXferStarted = false;

}  // namespace

namespace {

// The user pressed Cancel in the progress window: the scan is ended on the
// scanner, and the application ends the transfer with MSG_ENDXFER.
TW_UINT16 Cancelled() {
    conditionCode = TWCC_SUCCESS;
    return TWRC_CANCEL;
}

// The condition code of a failed transfer: a scanner (the 64-bit source's
// helper) that stopped answering, or a sheet that jammed in the feeder, is
// told as such to an application that was shown no box.
TW_UINT16 FailureCode(const ScanSession& session, int code) {
    if (!ErrorBoxesAllowed()) {
        if (session.ScannerStoppedAnswering()) return DeviceCondition(TWCC_CHECKDEVICEONLINE);
        if (session.ScanJammed()) return DeviceCondition(TWCC_PAPERJAM);
    }
    return static_cast<TW_UINT16>(code);
}

}  // namespace

void ResetMemoryTransfer() {
    memXferDone = false;
    memXferTotal = 0;
    memXferCompression = TWCP_NONE;
    memXferStarted = false;
}

TW_UINT16 CompressionOfTransfer(std::uint32_t bitsPerPixel) {
    const Capability& mechanism = capabilityTable.Find(ICAP_XFERMECH);
    const Capability& compression = capabilityTable.Find(ICAP_COMPRESSION);
    const Capability& format = capabilityTable.Find(ICAP_IMAGEFILEFORMAT);
    if (mechanism.id != ICAP_XFERMECH || compression.id != ICAP_COMPRESSION || compression.current < 0) return TWCP_NONE;
    const TW_UINT16 pixelType = bitsPerPixel == 1 ? TWPT_BW : bitsPerPixel == 8 ? TWPT_GRAY : TWPT_RGB;
    const auto value = static_cast<TW_UINT16>(compression.current);
    // The image's own pixel type decides, whatever was negotiated since.
    const TW_UINT32 carried = CompressionsFor(static_cast<TW_UINT16>(mechanism.current), pixelType,
                                              static_cast<TW_UINT16>(format.current));
    if (value < 32 && (carried >> value & 1)) return value;
    return (carried & 1) ? TWCP_NONE : TWCP_JPEG;
}

int NegotiatedJpegQuality() {
    const Capability* quality = capabilityTable.Lookup(ICAP_JPEGQUALITY);
    return JpegQualityOf(quality != nullptr ? quality->current : TWJQ_UNKNOWN);
}

// The handle goes into a slot of the application's: four bytes on the
// 32-bit build, a whole pointer natively. The slot is checked before the
// scan is read, so a bad one costs no scan.
TW_UINT16 ImageNativeXferHandler(const TripletRequest* request) noexcept {
    if (sourceState != 600 && sourceState != 700) return Refuse(TWCC_SEQERROR, kNativePrefix);
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL, kNativePrefix);
    ScanSession* session = CurrentSession();
    if (session == nullptr) return Refuse(TWCC_SEQERROR, kNativePrefix);
    if (session->TransferCancelled()) return Refuse(TWCC_SEQERROR, kNativePrefix);
    auto* slot = WritableData<TW_HANDLE>(request);
    if (slot == nullptr) return Refuse(TWCC_BADVALUE, kNativePrefix);

    scanInProgress = 1;
    int failure = TWCC_SUCCESS;
    platform::GlobalHandle dib = session->ReadNativeImage(&failure);
    scanInProgress = 0;
    if (failure == kTransferCancelled) return Cancelled();
    if (dib == nullptr) return Refuse(FailureCode(*session, failure), kNativePrefix);
    std::memcpy(slot, &dib, sizeof dib);  // the block is the application's from here on
    return TWRC_XFERDONE;
}

namespace {

// The application's buffer for one strip: locked for the length of the
// call when it is a handle, and never taken as longer than the block that
// backs it.
class StripBuffer {
public:
    explicit StripBuffer(const TW_MEMORY& memory) {
        if (memory.Flags & TWMF_HANDLE) {
            handle_ = memory.TheMem;
            address_ = platform::GlobalLockBlock(handle_);
            length_ = std::min<std::size_t>(memory.Length, platform::GlobalBlockSize(handle_));
            // Windows "locks" a plain pointer passed as a handle to itself and
            // may report any size for it: the memory must really be there.
            if (address_ != nullptr && !platform::IsWritable(address_, length_)) {
                platform::GlobalUnlockBlock(handle_);
                address_ = nullptr;
            }
        } else if (memory.TheMem != nullptr) {
            address_ = platform::IsWritable(memory.TheMem, memory.Length) ? memory.TheMem : nullptr;
            length_ = memory.Length;
        }
    }
    ~StripBuffer() {
        if (address_ != nullptr && handle_ != nullptr) platform::GlobalUnlockBlock(handle_);
    }
    StripBuffer(const StripBuffer&) = delete;
    StripBuffer& operator=(const StripBuffer&) = delete;

    void* address() const { return address_; }
    std::uint32_t length() const { return static_cast<std::uint32_t>(length_); }

private:
    platform::GlobalHandle handle_ = nullptr;
    void* address_ = nullptr;
    std::size_t length_ = 0;
};

// A buffer that says who owns it but not whether it is a handle or a
// pointer is a pointer: applications that own their buffers say
// TWMF_APPOWNS | TWMF_DSMOWNS for a plain pointer too.
bool UsableDescriptor(const TW_MEMORY& memory) {
    if (memory.Flags == 0) return false;
    if (memory.Length < kMinMemoryStrip || memory.Length > kMaxScanRead) return false;
    return (memory.Flags & (TWMF_HANDLE | TWMF_POINTER | TWMF_APPOWNS | TWMF_DSMOWNS | TWMF_DSOWNS)) != 0;
}

// A strip of compressed data: as many bytes as the buffer takes, the last
// strip with TWRC_XFERDONE. Compressed bytes are no rows: the row fields
// say so (TWON_DONTCARE32), Columns is the image's width.
TW_UINT16 CodedStrip(ScanSession& session, TW_IMAGEMEMXFER& xfer, const StripBuffer& buffer) {
    xfer.BytesWritten = 0;
    if (buffer.address() == nullptr) {
        memXferDone = true;
        session.DropCodedStream();
        session.EndProgress();
        return Refuse(TWCC_BADVALUE);
    }
    std::uint32_t written = 0;
    bool last = false;
    const int result = session.ReadCodedStrip(buffer.address(), buffer.length(), memXferCompression,
                                              NegotiatedJpegQuality(), &written, &last);
    if (result == kTransferCancelled) {
        memXferDone = true;
        scanInProgress = 0;
        return Cancelled();
    }
    if (result != TWCC_SUCCESS) {
        memXferDone = true;
        session.EndProgress();
        return Refuse(FailureCode(session, result));
    }
    xfer.Compression = memXferCompression;
    xfer.BytesPerRow = TWON_DONTCARE32;
    xfer.Columns = session.ImageWidth();
    xfer.Rows = TWON_DONTCARE32;
    xfer.XOffset = TWON_DONTCARE32;
    xfer.YOffset = TWON_DONTCARE32;
    xfer.BytesWritten = written;
    memXferTotal += written;
    if (!last) return TWRC_SUCCESS;
    memXferDone = true;
    scanInProgress = 0;
    conditionCode = TWCC_SUCCESS;
    return TWRC_XFERDONE;
}

}  // namespace

// One strip per call. The strip that comes out short carries its rows and
// answers TWRC_XFERDONE at once; the call after that answers TWRC_XFERDONE
// with no data and makes the transfer ready for the next image.
TW_UINT16 ImageMemXferHandler(const TripletRequest* request) noexcept {
    Trace("MemXfer Start\n");
    // Before the final scan the scanner holds the preview's set-up, after it
    // nothing: only a pending image is handed out.
    if (sourceState != 600 && sourceState != 700) return Refuse(TWCC_SEQERROR);
    auto* xfer = WritableData<TW_IMAGEMEMXFER>(request);
    if (xfer == nullptr) return Refuse(TWCC_BADVALUE);
    if (CurrentSession() != nullptr && CurrentSession()->TransferCancelled()) return Refuse(TWCC_SEQERROR);
    if (memXferDone) {
        xfer->BytesWritten = 0;
        ResetMemoryTransfer();
        Trace("XferDone returned\n");
        return TWRC_XFERDONE;
    }
    ScanSession* session = CurrentSession();
    if (session == nullptr) return Refuse(TWCC_SEQERROR);

    // Set from the first strip on: an application that stops early leaves
    // it set, and MSG_ENDXFER then ends the scan on the scanner.
    scanInProgress = 1;
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL);
    Trace("MSG_GET\n");
    if (!UsableDescriptor(xfer->Memory)) return Refuse(TWCC_BADVALUE);

    StripBuffer buffer(xfer->Memory);
    if (!memXferStarted) {
        memXferStarted = true;
        const Capability& mechanism = capabilityTable.Find(ICAP_XFERMECH);
        memXferCompression = mechanism.current == TWSX_MEMORY ? CompressionOfTransfer(session->ScanType().bitsPerPixel)
                                                               : TWCP_NONE;
    }
    if (memXferCompression != TWCP_NONE) return CodedStrip(*session, *xfer, buffer);
    xfer->BytesWritten = 0;
    xfer->BytesPerRow = RowStride(session->ImageBytesPerLine());
    const TW_UINT32 bytesPerRow = xfer->BytesPerRow;
    if (bytesPerRow == 0) {
        // No row to hand over: the scanner stopped answering the question,
        // or its scan has no line.
        memXferDone = true;
        return Refuse(session->ScanHalted() ? FailureCode(*session, TWCC_BUMMER) : TWCC_BADVALUE);
    }

    TW_UINT16 result = TWRC_SUCCESS;
    const std::uint32_t lines = session->ImageLength();
    bool endOfImage = memXferTotal / bytesPerRow >= lines;
    if (!endOfImage) {
        if (buffer.address() == nullptr) {
            // A null, unwritable or unlockable buffer ends the transfer.
            memXferDone = true;
            session->EndProgress();
            result = Refuse(TWCC_BADVALUE);
        } else if (buffer.length() < bytesPerRow) {
            // No row fits: nothing is read, and a larger buffer may follow.
            xfer->BytesPerRow = 0;
            return Refuse(TWCC_BADVALUE);
        } else {
            // The progress shows from the first strip to the last; between
            // strips the application's own loop serves its window.
            if (memXferTotal == 0) session->BeginProgress(lines);
            if (session->AdvanceProgress(memXferTotal / bytesPerRow)) {
                memXferDone = true;
                scanInProgress = 0;
                return Cancelled();
            }
            // A turned page is read whole and turned before its first strip.
            const int prepared = memXferTotal == 0 ? session->PrepareMemoryStrips() : TWCC_SUCCESS;
            if (prepared == kTransferCancelled) {
                memXferDone = true;
                scanInProgress = 0;
                return Cancelled();
            }
            if (prepared != TWCC_SUCCESS) {
                memXferDone = true;
                session->EndProgress();
                return Refuse(FailureCode(*session, static_cast<TW_UINT16>(prepared)));
            }
            const std::uint32_t got = session->ReadMemoryStrip(buffer.address(), buffer.length());
            xfer->BytesWritten = got;
            if ((got == 0 && memXferTotal == 0 && buffer.length() >= bytesPerRow) || session->ScanHalted()) {
                // The scanner sent nothing at all, or halted the scan: there
                // is no image to report as transferred.
                memXferDone = true;
                session->EndProgress();
                return Refuse(FailureCode(*session, TWCC_BUMMER));
            }
            // A strip with room for another row left over came out short:
            // the scanner has no more data.
            endOfImage = got == 0 || std::uint64_t(got) + bytesPerRow < buffer.length();
            if (endOfImage && (memXferTotal + std::uint64_t(got)) / bytesPerRow < lines) {
                // It stopped before the image's last row: no image either,
                // and the progress goes before the box that says so.
                memXferDone = true;
                session->EndProgress();
                return Refuse(static_cast<TW_UINT16>(session->ScanIncomplete()));
            }
        }
    }
    if (endOfImage) {
        session->EndProgress();
        memXferDone = true;
        conditionCode = TWCC_SUCCESS;
        result = TWRC_XFERDONE;
        scanInProgress = 0;
    }

    xfer->Compression = TWCP_NONE;
    xfer->Columns = session->ImageWidth();
    xfer->XOffset = 0;
    xfer->YOffset = memXferTotal / bytesPerRow;
    xfer->Rows = xfer->BytesWritten / bytesPerRow;
    memXferTotal += xfer->BytesWritten;
    Trace("Mem Success\n");
    return result;
}

// Only a scan set up for transfer (state 600) is written: in any other state
// the scanner holds a preview set-up or nothing, and no file is touched.
TW_UINT16 ImageFileXferHandler(const TripletRequest* request) noexcept {
    if (sourceState != 600) return Refuse(TWCC_SEQERROR);
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL);
    const Capability& format = capabilityTable.Find(ICAP_IMAGEFILEFORMAT);
    if (format.id != ICAP_IMAGEFILEFORMAT) return Refuse(TWCC_BUMMER);
    ScanSession* session = CurrentSession();
    if (session == nullptr || session->TransferCancelled()) return Refuse(TWCC_SEQERROR);

    scanInProgress = 1;
    int result = TWCC_BUMMER;
    try {
        const std::string fileName = transferFileName;
        const TW_UINT16 compression = CompressionOfTransfer(session->ScanType().bitsPerPixel);
        result = session->WriteImageFile(fileName.c_str(), static_cast<std::uint16_t>(format.current), compression,
                                         NegotiatedJpegQuality());
    } catch (...) {  // the name could not be copied
        result = TWCC_LOWMEMORY;
    }
    scanInProgress = 0;
    if (result == kTransferCancelled) return Cancelled();
    if (result != 0) return Refuse(FailureCode(*session, result));
    return TWRC_XFERDONE;
}
