// The TWAIN application side of vorelscan: the state walk from 1 to 7 and
// back, with every step's outcome checked and reported. A batch goes on
// from state 6 for as long as MSG_ENDXFER's Count says more images come,
// as a TWAIN 1.x application must.
#include "acquisition.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/dib_format.h"

#include "scanned_image.h"
#include "twain/twain.h"
#include "twain_application.h"

namespace {

class Session {
public:
    explicit Session(const ScanOptions& options) : options_(options), twain_("vorelscan", "Tools") {}

    bool Run();
    const std::string& Error() const { return twain_.Error(); }
    int pagesWritten = 0;

private:
    TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return twain_.ToSource(dg, dat, msg, data);
    }
    bool Fail(const std::string& what, TW_UINT16 rc) { return twain_.Fail(what, rc); }
    bool Fail(const std::string& why) { return twain_.Fail(why); }
    bool SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const char* name) {
        return twain_.SetOneValue(cap, itemType, value, name);
    }
    bool Negotiate();
    // One image: described, moved and written (or kept, for a multi-page
    // file); then MSG_ENDXFER, whose Count says how many more come.
    bool TransferPage(int page, TW_UINT16* remaining);
    bool TransferNative(ScannedImage* image);
    bool TransferMemory(ScannedImage* image);
    bool TransferFile(const std::string& name);
    bool TransferAll();

    const ScanOptions& options_;
    TwainApplication twain_;
    std::vector<ScannedImage> pages_;  // a multi-page file's pages
};

bool Session::Negotiate() {
    TW_UINT16 mechanism = options_.mechanism == "memory" ? TWSX_MEMORY
                          : options_.mechanism == "file" ? TWSX_FILE
                                                         : TWSX_NATIVE;
    TW_UINT16 pixelType = options_.type == "bw" ? TWPT_BW : options_.type == "gray" ? TWPT_GRAY : TWPT_RGB;
    TW_UINT16 bitDepth = options_.type == "bw" ? 1 : options_.type == "gray" ? 8 : 24;
    if (!SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism, "ICAP_XFERMECH")) return false;
    if (!SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType, "ICAP_PIXELTYPE")) return false;
    if (!SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, bitDepth, "ICAP_BITDEPTH")) return false;
    if (!SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, options_.dpi, "ICAP_XRESOLUTION")) return false;
    if (!SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, options_.yDpi, "ICAP_YRESOLUTION")) return false;
    if (options_.vanilla && !SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_VANILLA, "ICAP_PIXELFLAVOR")) return false;
    // One image unless a batch is asked for: a loaded feeder would otherwise
    // go on through its sheets.
    const int count = options_.batch ? options_.count : 1;
    if (!SetOneValue(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(count), "CAP_XFERCOUNT")) return false;
    if (options_.region) {
        TW_IMAGELAYOUT layout{};
        auto fix = [](int value) { return TW_FIX32{static_cast<TW_INT16>(value), 0}; };
        layout.Frame = {fix(options_.left), fix(options_.top), fix(options_.right), fix(options_.bottom)};
        TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
        if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS) return Fail("MSG_SET DAT_IMAGELAYOUT", rc);
    }
    return true;
}

bool Session::TransferNative(ScannedImage* image) {
    TW_UINT32 handle = 0;
    TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    if (rc != TWRC_XFERDONE) return Fail("DAT_IMAGENATIVEXFER", rc);
    HGLOBAL block = reinterpret_cast<HGLOBAL>(static_cast<ULONG_PTR>(handle));
    const auto* dib = static_cast<const std::uint8_t*>(::GlobalLock(block));
    bool ok = ImageFromDib(dib, ::GlobalSize(block), image);
    ::GlobalUnlock(block);
    ::GlobalFree(block);
    return ok || Fail("the native transfer's DIB does not hold what its header says");
}

bool Session::TransferMemory(ScannedImage* image) {
    TW_SETUPMEMXFER setup{};
    TW_UINT16 rc = ToSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    if (rc != TWRC_SUCCESS) return Fail("DAT_SETUPMEMXFER", rc);
    // A strip holds whole rows: the buffer takes at least one, and the
    // source's own minimum.
    std::size_t rowBytes = image->RowBytes();
    const TW_UINT32 minimum = std::max<TW_UINT32>(setup.MinBufSize, RowStride(static_cast<std::uint32_t>(rowBytes)));
    TW_UINT32 size = static_cast<TW_UINT32>(options_.memoryBuffer);
    if (size == 0) size = std::min<TW_UINT32>(std::max(setup.Preferred, minimum), kMaxMemoryBuffer);
    if (size < minimum || size > kMaxMemoryBuffer) {
        return Fail("the memory buffer must hold at least one row (" + std::to_string(minimum) +
                    " bytes) and at most " + std::to_string(kMaxMemoryBuffer));
    }
    std::vector<std::uint8_t> buffer(size);
    image->rows.assign(rowBytes * image->lines, 0xFF);
    for (int strip = 0; strip < 100000; ++strip) {
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, size, buffer.data()};
        rc = ToSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) return Fail("DAT_IMAGEMEMXFER", rc);
        for (TW_UINT32 row = 0; row < xfer.Rows; ++row) {
            TW_UINT32 y = xfer.YOffset + row;
            if (y >= static_cast<TW_UINT32>(image->lines) || xfer.BytesPerRow < rowBytes) break;
            std::memcpy(&image->rows[rowBytes * y], &buffer[static_cast<std::size_t>(xfer.BytesPerRow) * row], rowBytes);
        }
        if (rc == TWRC_XFERDONE) return true;
    }
    return Fail("the memory transfer did not end");
}

bool Session::TransferFile(const std::string& name) {
    TW_SETUPFILEXFER setup{};
    std::snprintf(setup.FileName, sizeof setup.FileName, "%s", name.c_str());
    setup.Format = options_.format == "tiff" ? TWFF_TIFF : TWFF_BMP;
    TW_UINT16 rc = ToSource(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
    if (rc != TWRC_SUCCESS) return Fail("DAT_SETUPFILEXFER", rc);
    rc = ToSource(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    return rc == TWRC_XFERDONE || Fail("DAT_IMAGEFILEXFER", rc);
}

bool Session::TransferPage(int page, TW_UINT16* remaining) {
    const DWORD start = ::GetTickCount();
    TW_IMAGEINFO info{};
    TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    if (rc != TWRC_SUCCESS) return Fail("DAT_IMAGEINFO", rc);
    ScannedImage image;
    image.width = info.ImageWidth;
    image.lines = info.ImageLength;
    image.bitsPerPixel = info.BitsPerPixel;
    image.xDpi = info.XResolution.Whole;
    image.yDpi = info.YResolution.Whole;
    // Memory strips carry the levels as the flavour has them; a DIB says so
    // in its colour table.
    image.whiteIsZero = options_.vanilla && image.bitsPerPixel != 24;
    const std::string name = options_.batch && !options_.multipage ? BatchFileName(options_.out, page) : options_.out;
    bool ok;
    if (options_.mechanism == "file") {
        ok = TransferFile(name);
    } else {
        ok = options_.mechanism == "memory" ? TransferMemory(&image) : TransferNative(&image);
        if (ok && options_.multipage) {
            pages_.push_back(std::move(image));
        } else if (ok) {
            ok = options_.format == "tiff" ? WriteTiff(name, image) : WriteBmp(name, image);
            if (!ok) Fail("cannot write " + name);
        }
    }
    TW_PENDINGXFERS pending{};
    *remaining = 0;
    if (!ok) {
        ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
        return false;
    }
    rc = ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    if (rc != TWRC_SUCCESS) return Fail("MSG_ENDXFER", rc);
    *remaining = pending.Count;
    const unsigned long bytes = static_cast<unsigned long>(DibRowBytes(info.ImageWidth, info.BitsPerPixel)) *
                                static_cast<unsigned long>(info.ImageLength > 0 ? info.ImageLength : 0);
    std::printf("page %d: %d x %d pixels, %d bits, %lu bytes, %lu ms%s%s\n", page,
                static_cast<int>(info.ImageWidth), static_cast<int>(info.ImageLength), info.BitsPerPixel, bytes,
                static_cast<unsigned long>(::GetTickCount() - start), options_.multipage ? "" : " -> ",
                options_.multipage ? "" : name.c_str());
    std::fflush(stdout);
    return true;
}

// Every image of the enabling: after each MSG_ENDXFER a Count above 0 means
// another image is ready in state 6 (0xFFFF: more may come).
bool Session::TransferAll() {
    int page = 0;
    for (TW_UINT16 remaining = 1; remaining != 0;) {
        if (!TransferPage(++page, &remaining)) {
            if (options_.batch) Fail("page " + std::to_string(page) + ": " + Error());
            return false;
        }
    }
    if (options_.multipage && !WriteMultipageTiff(options_.out, pages_)) return Fail("cannot write " + options_.out);
    if (options_.batch && options_.count > 0 && page < options_.count) {
        return Fail("the source delivered " + std::to_string(page) + " of the " + std::to_string(options_.count) +
                    " pages asked for");
    }
    pagesWritten = page;
    return true;
}

bool Session::Run() {
    return twain_.Open() && Negotiate() && twain_.Enable(options_.showUI) && twain_.WaitFor(MSG_XFERREADY) &&
           TransferAll();
}

}  // namespace

int Acquire(const ScanOptions& options, std::string* error, int* pages) {
    Session session(options);
    const bool ok = session.Run();
    if (!ok) *error = session.Error();
    if (pages != nullptr) *pages = session.pagesWritten;
    return ok ? 0 : 1;
}
