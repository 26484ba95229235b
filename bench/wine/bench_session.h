// The benchmark's application: opens the Vorel source through the minimal
// source manager beside it, asks for colour at a resolution over a region,
// and runs enablings of the source without its dialog, timing each image's
// transfer by the mechanism asked for. Each enabling asks for
// `pagesPerEnabling` images (CAP_XFERCOUNT) and moves as many as the source
// announces.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "bench_common.h"
#include "twain/twain.h"

enum class Mechanism { Native, Memory, FileTiff, FileBmp };

class BenchSession {
public:
    BenchSession() = default;
    ~BenchSession();
    BenchSession(const BenchSession&) = delete;
    BenchSession& operator=(const BenchSession&) = delete;

    // Opens manager and source and negotiates the scan. False, with a
    // reason in Error(), when any step fails.
    bool Open(Mechanism mechanism, const PageSpec& page, int pagesPerEnabling);
    // One enabling: waits for the transfer, moves every image the source has
    // (at most pagesPerEnabling), adds each image's time to `times` and ends
    // with the source disabled again. `file` names the file transfers' file.
    bool RunEnabling(const std::string& file, RunTimes* times);

    // Bytes of the last image, as the transfer delivered them (DIB, strips'
    // rows with padding, or the file's size).
    std::uint64_t LastImageBytes() const { return lastBytes_; }
    const TW_IMAGEINFO& LastImageInfo() const { return info_; }
    // Resident memory when the first transfer was about to begin.
    const MemoryCounters& BeforeFirstTransfer() const { return beforeFirst_; }
    const std::string& Error() const { return error_; }

private:
    TW_UINT16 ToManager(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&app_, nullptr, DG_CONTROL, dat, msg, data);
    }
    TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&app_, &source_, dg, dat, msg, data);
    }
    bool Fail(const std::string& what, TW_UINT16 rc);
    bool SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const char* name);
    bool WaitFor(TW_UINT16 wanted);
    bool TransferOne(const std::string& file, double* seconds);
    void Close();

    Mechanism mechanism_ = Mechanism::Native;
    HMODULE manager_ = nullptr;
    DSMENTRYPROC entry_ = nullptr;
    HWND window_ = nullptr;
    TW_IDENTITY app_{};
    TW_IDENTITY source_{};
    bool managerOpen_ = false;
    bool sourceOpen_ = false;
    int pagesPerEnabling_ = 1;
    bool firstTransfer_ = true;
    MemoryCounters beforeFirst_;
    TW_IMAGEINFO info_{};
    std::uint64_t lastBytes_ = 0;
    std::string error_;
    void* strip_ = nullptr;  // the memory transfer's buffer, kept between images
    TW_UINT32 stripSize_ = 0;
};
