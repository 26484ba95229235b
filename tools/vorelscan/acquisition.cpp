// The TWAIN application side of vorelscan: the state walk from 1 to 7 and
// back, with every step's outcome checked and reported. A batch goes on
// from state 6 for as long as MSG_ENDXFER's Count says more images come,
// as a TWAIN 1.x application must.
#include "acquisition.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/dib_format.h"

#include "scanned_image.h"
#include "twain/twain.h"

namespace {

class Session {
public:
    Session(const ScanOptions& options, std::string* error) : options_(options), error_(error) {}
    ~Session() { Shutdown(); }

    bool Run();
    int pagesWritten = 0;

private:
    bool Fail(const std::string& what, TW_UINT16 rc, bool askSource = true);
    TW_UINT16 ToManager(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&app_, nullptr, dg, dat, msg, data);
    }
    TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&app_, &source_, dg, dat, msg, data);
    }
    bool SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const char* name);
    bool Negotiate();
    bool WaitForTransfer();
    // One image: described, moved and written (or kept, for a multi-page
    // file); then MSG_ENDXFER, whose Count says how many more come.
    bool TransferPage(int page, TW_UINT16* remaining);
    bool TransferNative(ScannedImage* image);
    bool TransferMemory(ScannedImage* image);
    bool TransferFile(const std::string& name);
    bool TransferAll();
    void Shutdown();

    const ScanOptions& options_;
    std::string* error_;
    HMODULE manager_ = nullptr;
    DSMENTRYPROC entry_ = nullptr;
    HWND window_ = nullptr;
    TW_IDENTITY app_{};
    TW_IDENTITY source_{};
    bool managerOpen_ = false;
    bool sourceOpen_ = false;
    bool enabled_ = false;
    std::vector<ScannedImage> pages_;  // a multi-page file's pages
};

bool Session::Fail(const std::string& what, TW_UINT16 rc, bool askSource) {
    TW_STATUS status{};
    if (entry_ != nullptr) {
        if (askSource && sourceOpen_) {
            ToSource(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        } else {
            ToManager(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        }
    }
    char text[256];
    std::snprintf(text, sizeof text, "%s failed (return code %u, condition code %u)", what.c_str(), rc,
                  status.ConditionCode);
    *error_ = text;
    return false;
}

bool Session::SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const char* name) {
    TW_CAPABILITY capability{cap, TWON_ONEVALUE, ::GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
    if (capability.hContainer == nullptr) return Fail("allocating a container", TWRC_FAILURE, false);
    auto* one = static_cast<TW_ONEVALUE*>(::GlobalLock(capability.hContainer));
    one->ItemType = itemType;
    one->Item = value;
    ::GlobalUnlock(capability.hContainer);
    TW_UINT16 rc = ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    ::GlobalFree(capability.hContainer);
    return rc == TWRC_SUCCESS || Fail(std::string("MSG_SET ") + name, rc);
}

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

// Runs the message loop until the source says a transfer is ready, or asks
// to be closed.
bool Session::WaitForTransfer() {
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        TW_EVENT event{&message, MSG_NULL};
        TW_UINT16 rc = ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        if (event.TWMessage == MSG_XFERREADY) return true;
        if (event.TWMessage == MSG_CLOSEDSREQ) {
            *error_ = "the source asked to be closed before a transfer";
            return false;
        }
        if (rc == TWRC_NOTDSEVENT) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    *error_ = "the message loop ended";
    return false;
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
    if (!ok) *error_ = "the native transfer's DIB does not hold what its header says";
    return ok;
}

bool Session::TransferMemory(ScannedImage* image) {
    TW_SETUPMEMXFER setup{};
    TW_UINT16 rc = ToSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    if (rc != TWRC_SUCCESS) return Fail("DAT_SETUPMEMXFER", rc);
    TW_UINT32 size = static_cast<TW_UINT32>(options_.memoryBuffer);
    std::vector<std::uint8_t> buffer(size);
    std::size_t rowBytes = image->RowBytes();
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
    *error_ = "the memory transfer did not end";
    return false;
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
            if (!ok) *error_ = "cannot write " + name;
        }
    }
    TW_PENDINGXFERS pending{};
    ToSource(DG_CONTROL, DAT_PENDINGXFERS, ok ? MSG_ENDXFER : MSG_RESET, &pending);
    *remaining = ok ? pending.Count : 0;
    if (!ok) return false;
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
            if (options_.batch) *error_ = "page " + std::to_string(page) + ": " + *error_;
            return false;
        }
    }
    if (options_.multipage && !WriteMultipageTiff(options_.out, pages_)) {
        *error_ = "cannot write " + options_.out;
        return false;
    }
    if (options_.batch && options_.count > 0 && page < options_.count) {
        *error_ = "the source delivered " + std::to_string(page) + " of the " + std::to_string(options_.count) +
                  " pages asked for";
        return false;
    }
    pagesWritten = page;
    return true;
}

bool Session::Run() {
    manager_ = ::LoadLibraryA("TWAIN_32.DLL");
    if (manager_ == nullptr) return *error_ = "TWAIN_32.DLL not found", false;
    entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(manager_, "DSM_Entry")));
    if (entry_ == nullptr) return *error_ = "TWAIN_32.DLL has no DSM_Entry", false;

    app_.Version = TW_VERSION{1, 0, TWLG_USA, TWCY_USA, "1.0"};
    app_.ProtocolMajor = 1;
    app_.ProtocolMinor = 6;
    app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(app_.Manufacturer, "Vorel project");
    std::strcpy(app_.ProductFamily, "Tools");
    std::strcpy(app_.ProductName, "vorelscan");

    window_ = ::CreateWindowA("STATIC", "vorelscan", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    TW_UINT16 rc = ToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_);
    if (rc != TWRC_SUCCESS) return Fail("MSG_OPENDSM", rc, false);
    managerOpen_ = true;

    rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source_);
    while (rc == TWRC_SUCCESS && std::strcmp(source_.ProductName, "Vorel Source") != 0) {
        rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source_);
    }
    if (rc != TWRC_SUCCESS) return Fail("finding \"Vorel Source\"", rc, false);
    rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
    if (rc != TWRC_SUCCESS) return Fail("MSG_OPENDS", rc, false);
    sourceOpen_ = true;

    if (!Negotiate()) return false;
    TW_USERINTERFACE ui{static_cast<TW_BOOL>(options_.showUI ? 1 : 0), 0, window_};
    rc = ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (rc != TWRC_SUCCESS) return Fail("MSG_ENABLEDS", rc);
    enabled_ = true;
    return WaitForTransfer() && TransferAll();
}

void Session::Shutdown() {
    if (enabled_) {
        TW_USERINTERFACE ui{1, 0, window_};
        ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
        enabled_ = false;
    }
    if (sourceOpen_) {
        ToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
        sourceOpen_ = false;
    }
    if (managerOpen_) {
        ToManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_);
        managerOpen_ = false;
    }
    if (window_ != nullptr) ::DestroyWindow(window_);
    window_ = nullptr;
    if (manager_ != nullptr) ::FreeLibrary(manager_);
    manager_ = nullptr;
}

}  // namespace

int Acquire(const ScanOptions& options, std::string* error, int* pages) {
    Session session(options, error);
    const bool ok = session.Run();
    if (pages != nullptr) *pages = session.pagesWritten;
    return ok ? 0 : 1;
}
