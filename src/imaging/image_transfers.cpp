// The three ways the final scan reaches the application: one packed DIB in
// a global memory block (DAT_IMAGENATIVEXFER), strips of whole rows in the
// application's buffers (DAT_IMAGEMEMXFER), and a BMP or TIFF file
// (DAT_IMAGEFILEXFER); with the dialog's readers behind them. The scan is
// read from the scanner while it is handed over: the final scan's set-up
// only prepared it.
//
// 24-bit rows are blue, green, red in a DIB and a BMP file, red, green,
// blue in memory strips and TIFF files. The scanner's colour matrix chooses
// the order before a read; pixels are never converted here.
#include "imaging/image_transfers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "capabilities/capability_table.h"
#include "imaging/bmp_file.h"
#include "imaging/dib_format.h"
#include "imaging/tiff_header.h"
#include "module/source_app.h"
#include "platform/file.h"
#include "platform/global_memory.h"
#include "platform/pointer_check.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"
#include "ui/image_types.h"
#include "ui/source_dialog.h"

namespace {

const char kNativePrefix[] = "General failure in response to DAT_IMAGENATIVEXFER.  ";

constexpr TW_UINT32 kMinBufSize = 4096;
constexpr TW_UINT32 kMaxBufSize = 64000;
constexpr std::uint32_t kTiffChunk = 60000;

// Set once the memory transfer has delivered its last strip or failed for
// good; the next call answers TWRC_XFERDONE and starts afresh.
bool memXferDone = false;
// Bytes, row padding included, delivered by the memory transfer so far.
std::uint32_t memXferTotal = 0;

// The scanner answers 16-bit signed values; a failed or nonsensical answer
// counts as nothing to read.
std::uint32_t NonNegative(int value) { return value > 0 ? static_cast<std::uint32_t>(value) : 0; }

// The TIFF header, then exactly the bytes the scanner sends up to its end,
// through the one working block of kTiffChunk bytes.
int WriteTiffFile(ScannerDevice& scanner, const char* fileName, void* work, std::uint32_t bitsPerPixel,
                  std::uint32_t xResolution, std::uint32_t yResolution) {
    // Asked one after the other, so the scanner hears the questions in the
    // same order on every compiler.
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::uint32_t pixelsPerLine = NonNegative(scanner.GetPixelsPerLine());
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    FillTiffHeader(work, bytesPerLine, pixelsPerLine, lines, bitsPerPixel, xResolution, yResolution);
    platform::File file;
    if (!file.Open(fileName, platform::FileMode::ReadWrite)) return TWCC_BUMMER;
    if (!file.Write(work, TiffHeaderSize())) return TWCC_BUMMER;
    for (;;) {
        const std::uint32_t n = scanner.ReadData(kTiffChunk, work);
        if (n == 0) return file.EndHere() ? TWCC_SUCCESS : TWCC_BUMMER;
        if (!file.Write(work, n)) return TWCC_BUMMER;
    }
}

}  // namespace

void ResetMemoryTransfer() {
    memXferDone = false;
    memXferTotal = 0;
}

// --- The dialog's readers ---

// The block is zero-filled, so rows the scanner does not deliver come out
// black rather than as whatever the memory held. It is also never smaller
// than the rows its header announces, even when the scanner's bytes per
// line and its pixels per line disagree.
platform::GlobalHandle SourceDialog::ReadNativeImage() {
    const ImageTypeEntry& type = ImageTypeTable[GetImageTypeIndex()];
    const std::uint32_t bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::int32_t pixels = static_cast<std::int32_t>(NonNegative(scanner.GetPixelsPerLine()));
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(false);

    const std::uint64_t stride = RowStride(bytesPerLine);
    const std::uint64_t headerStride = RowStride(DibRowBytes(pixels, type.bitsPerPixel));
    const std::uint64_t prefix = kDibHeaderSize + std::uint64_t(type.paletteEntries) * kColorTableEntrySize;
    const std::uint64_t rowBytes = std::max(stride, headerStride) * lines;
    if (prefix + rowBytes > SIZE_MAX) return nullptr;

    platform::GlobalHandle dib =
        platform::GlobalAllocate(platform::kGmemShareable | platform::kGmemZeroInit, prefix + rowBytes);
    {
        platform::LockedBlock block(dib);
        if (!block) {
            platform::GlobalFreeBlock(dib);
            return nullptr;
        }
        FillDibHeader(block.get(), pixels, static_cast<std::int32_t>(lines), type.bitsPerPixel, 0);
        FillGreyColorTable(type.paletteEntries, block.bytes() + kDibHeaderSize);
        scanner.ReadImageToDIB(static_cast<int>(bytesPerLine), static_cast<int>(lines), block.bytes() + prefix,
                               static_cast<std::size_t>(rowBytes), true);
    }
    return dib;
}

// The line length is asked for the row count and again for the read; until
// the first read of a scan both questions go to the scanner.
std::uint32_t SourceDialog::ReadMemoryStrip(void* buffer, std::uint32_t length) {
    const std::uint32_t stride = RowStride(NonNegative(scanner.GetBytesPerLine()));
    if (stride == 0) return 0;
    const std::uint32_t rows = length / stride;
    if (rows == 0) return 0;
    return scanner.ReadImageToDIB(scanner.GetBytesPerLine(), static_cast<int>(rows), buffer, length, false);
}

// Returns a condition code: 0 written, TWCC_BUMMER when the file cannot be
// opened or written (or no name was set), TWCC_LOWMEMORY when the image or
// the working block cannot be had.
int SourceDialog::WriteImageFile(const char* fileName, std::uint16_t format) {
    if (fileName == nullptr || fileName[0] == '\0') return TWCC_BUMMER;
    const ImageTypeEntry& type = ImageTypeTable[GetImageTypeIndex()];

    if (format != TWFF_TIFF) {
        platform::GlobalHandle dib = ReadNativeImage();
        if (dib == nullptr) return TWCC_LOWMEMORY;
        const int result = WriteBmpFile(fileName, dib, type.paletteEntries);
        platform::GlobalFreeBlock(dib);
        return result == 0 ? TWCC_SUCCESS : TWCC_BUMMER;
    }

    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(true);
    platform::GlobalHandle work = platform::GlobalAllocate(platform::kGmemMoveable, kTiffChunk);
    int result = TWCC_LOWMEMORY;
    {
        platform::LockedBlock block(work);
        if (block) result = WriteTiffFile(scanner, fileName, block.get(), type.bitsPerPixel, xResolution, yResolution);
    }
    platform::GlobalFreeBlock(work);
    return result;
}

// --- The transfer handlers ---

// The handle goes into a slot of the application's: four bytes on the
// 32-bit build, a whole pointer natively. The slot is checked before the
// scan is read, so a bad one costs no scan.
TW_UINT16 ImageNativeXferHandler(const TripletRequest* request) noexcept {
    if (sourceState != 600 && sourceState != 700) return Refuse(TWCC_SEQERROR, kNativePrefix);
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL, kNativePrefix);
    SourceDialog* dialog = CurrentDialog();
    if (dialog == nullptr) return Refuse(TWCC_SEQERROR, kNativePrefix);
    auto* slot = WritableData<TW_HANDLE>(request);
    if (slot == nullptr) return Refuse(TWCC_BADVALUE, kNativePrefix);

    scanInProgress = 1;
    platform::GlobalHandle dib = dialog->ReadNativeImage();
    scanInProgress = 0;
    if (dib == nullptr) return Refuse(TWCC_LOWMEMORY, kNativePrefix);
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

bool UsableDescriptor(const TW_MEMORY& memory) {
    if (memory.Flags == 0) return false;
    if (memory.Length < kMinBufSize || memory.Length > kMaxBufSize) return false;
    return (memory.Flags & (TWMF_HANDLE | TWMF_POINTER)) != 0;
}

}  // namespace

// One strip per call. The strip that comes out short carries its rows and
// answers TWRC_XFERDONE at once; the call after that answers TWRC_XFERDONE
// with no data and makes the transfer ready for the next image.
TW_UINT16 ImageMemXferHandler(const TripletRequest* request) noexcept {
    Trace("MemXfer Start\n");
    auto* xfer = WritableData<TW_IMAGEMEMXFER>(request);
    if (xfer == nullptr) return Refuse(TWCC_BADVALUE);
    if (memXferDone) {
        xfer->BytesWritten = 0;
        ResetMemoryTransfer();
        Trace("XferDone returned\n");
        return TWRC_XFERDONE;
    }
    SourceDialog* dialog = CurrentDialog();
    if (dialog == nullptr) return Refuse(TWCC_SEQERROR);

    // Set from the first strip on: an application that stops early leaves
    // it set, and MSG_ENDXFER then ends the scan on the scanner.
    scanInProgress = 1;
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL);
    Trace("MSG_GET\n");
    if (!UsableDescriptor(xfer->Memory)) return Refuse(TWCC_BADVALUE);

    StripBuffer buffer(xfer->Memory);
    xfer->BytesWritten = 0;
    xfer->BytesPerRow = RowStride(NonNegative(dialog->GetBytesPerLine()));
    const TW_UINT32 bytesPerRow = xfer->BytesPerRow;
    if (bytesPerRow == 0) {
        memXferDone = true;
        return Refuse(TWCC_BADVALUE);
    }

    TW_UINT16 result = TWRC_SUCCESS;
    bool endOfImage = memXferTotal / bytesPerRow >= NonNegative(dialog->GetLineCount());
    if (!endOfImage) {
        if (buffer.address() == nullptr) {
            // A null, unwritable or unlockable buffer ends the transfer.
            memXferDone = true;
            result = Refuse(TWCC_BADVALUE);
        } else {
            const std::uint32_t got = dialog->ReadMemoryStrip(buffer.address(), buffer.length());
            xfer->BytesWritten = got;
            // A strip with room for another row left over came out short:
            // the scanner has no more data.
            endOfImage = got == 0 || std::uint64_t(got) + bytesPerRow < buffer.length();
        }
    }
    if (endOfImage) {
        memXferDone = true;
        conditionCode = TWCC_SUCCESS;
        result = TWRC_XFERDONE;
        scanInProgress = 0;
    }

    xfer->Compression = TWCP_NONE;
    xfer->Columns = NonNegative(dialog->GetPixelsPerLine());
    xfer->XOffset = 0;
    xfer->YOffset = memXferTotal / bytesPerRow;
    xfer->Rows = xfer->BytesWritten / bytesPerRow;
    memXferTotal += xfer->BytesWritten;
    Trace("Mem Success\n");
    return result;
}

TW_UINT16 ImageFileXferHandler(const TripletRequest* request) noexcept {
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL);
    const Capability& format = capabilityTable.Find(ICAP_IMAGEFILEFORMAT);
    if (format.id != ICAP_IMAGEFILEFORMAT) return Refuse(TWCC_BUMMER);
    SourceDialog* dialog = CurrentDialog();
    if (dialog == nullptr) return Refuse(TWCC_SEQERROR);

    scanInProgress = 1;
    int result = TWCC_BUMMER;
    try {
        const std::string fileName = transferFileName;
        result = dialog->WriteImageFile(fileName.c_str(), static_cast<std::uint16_t>(format.current));
    } catch (...) {  // the name could not be copied
        result = TWCC_LOWMEMORY;
    }
    scanInProgress = 0;
    if (result != 0) return Refuse(static_cast<TW_UINT16>(result));
    return TWRC_XFERDONE;
}
