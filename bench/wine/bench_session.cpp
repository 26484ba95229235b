// The benchmark's application side. Only the transfer triplets themselves
// are timed; negotiation, the final scan's set-up (it runs inside
// MSG_ENABLEDS), DAT_IMAGEINFO and the file's creation are not.
#include "bench_session.h"

#include <cstdio>
#include <cstring>

BenchSession::~BenchSession() { delete[] static_cast<std::uint8_t*>(strip_); }

bool BenchSession::Open(Mechanism mechanism, const PageSpec& page, int pagesPerEnabling) {
    mechanism_ = mechanism;
    pagesPerEnabling_ = pagesPerEnabling;
    if (!twain_.Open()) return false;

    const TW_UINT16 xferMech = mechanism == Mechanism::Native   ? TWSX_NATIVE
                               : mechanism == Mechanism::Memory ? TWSX_MEMORY
                                                                : TWSX_FILE;
    if (!SetOneValue(ICAP_XFERMECH, TWTY_UINT16, xferMech, "ICAP_XFERMECH")) return false;
    if (!SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB, "ICAP_PIXELTYPE")) return false;
    if (!SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 24, "ICAP_BITDEPTH")) return false;
    if (!SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, static_cast<TW_UINT32>(page.dpi), "ICAP_XRESOLUTION")) return false;
    if (!SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, static_cast<TW_UINT32>(page.dpi), "ICAP_YRESOLUTION")) return false;
    // The frame in the source's default unit, 1/300 inch.
    TW_IMAGELAYOUT layout{};
    auto fix = [](int value) { return TW_FIX32{static_cast<TW_INT16>(value), 0}; };
    layout.Frame = {fix(page.left), fix(page.top), fix(page.right), fix(page.bottom)};
    const TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
    if (rc != TWRC_SUCCESS) return Fail("MSG_SET DAT_IMAGELAYOUT", rc);
    return true;
}

bool BenchSession::TransferOne(const std::string& file, double* seconds) {
    TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info_);
    if (rc != TWRC_SUCCESS) return Fail("DAT_IMAGEINFO", rc);
    if (firstTransfer_) {
        beforeFirst_ = ReadMemoryCounters();
        firstTransfer_ = false;
    }

    if (mechanism_ == Mechanism::Native) {
        TW_HANDLE block = nullptr;  // the source writes a whole handle here
        const double start = Seconds();
        rc = ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &block);
        *seconds = Seconds() - start;
        if (rc != TWRC_XFERDONE) return Fail("DAT_IMAGENATIVEXFER", rc);
        lastBytes_ = ::GlobalSize(block);
        ::GlobalFree(block);
        return true;
    }

    if (mechanism_ == Mechanism::Memory) {
        TW_SETUPMEMXFER setup{};
        rc = ToSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
        if (rc != TWRC_SUCCESS) return Fail("DAT_SETUPMEMXFER", rc);
        if (strip_ == nullptr || stripSize_ != setup.Preferred) {
            delete[] static_cast<std::uint8_t*>(strip_);
            stripSize_ = setup.Preferred;
            strip_ = new std::uint8_t[stripSize_];
            std::memset(strip_, 0, stripSize_);
        }
        std::uint64_t bytes = 0;
        const double start = Seconds();
        for (int strip = 0; strip < 1000000; ++strip) {
            TW_IMAGEMEMXFER xfer{};
            xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, stripSize_, strip_};
            rc = ToSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) return Fail("DAT_IMAGEMEMXFER", rc);
            bytes += xfer.BytesWritten;
            if (rc == TWRC_XFERDONE) break;
        }
        *seconds = Seconds() - start;
        lastBytes_ = bytes;
        return true;
    }

    ::DeleteFileA(file.c_str());
    TW_SETUPFILEXFER setup{};
    std::snprintf(setup.FileName, sizeof setup.FileName, "%s", file.c_str());
    setup.Format = mechanism_ == Mechanism::FileTiff ? TWFF_TIFF : TWFF_BMP;
    rc = ToSource(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
    if (rc != TWRC_SUCCESS) return Fail("DAT_SETUPFILEXFER", rc);
    const double start = Seconds();
    rc = ToSource(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    *seconds = Seconds() - start;
    if (rc != TWRC_XFERDONE) return Fail("DAT_IMAGEFILEXFER", rc);
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    lastBytes_ = ::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &attributes)
                     ? (std::uint64_t(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow)
                     : 0;
    return true;
}

bool BenchSession::RunEnabling(const std::string& file, RunTimes* times) {
    // The count goes back to its default after every batch.
    if (!SetOneValue(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT32>(pagesPerEnabling_), "CAP_XFERCOUNT"))
        return false;
    if (!twain_.Enable(false)) return false;
    bool ok = twain_.WaitFor(MSG_XFERREADY);
    TW_PENDINGXFERS pending{};
    for (int page = 0; ok && page < pagesPerEnabling_; ++page) {
        double seconds = 0;
        ok = TransferOne(file, &seconds);
        if (ok) times->Add(seconds);
        pending = TW_PENDINGXFERS{};
        const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        if (rc != TWRC_SUCCESS) ok = Fail("MSG_ENDXFER", rc);
        if (pending.Count == 0) break;
    }
    if (ok && pending.Count != 0) ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    // With nothing left to transfer the source asks to be closed.
    if (ok) ok = twain_.WaitFor(MSG_CLOSEDSREQ);
    const TW_UINT16 rc = twain_.Disable();
    if (ok && rc != TWRC_SUCCESS) ok = Fail("MSG_DISABLEDS", rc);
    return ok;
}
