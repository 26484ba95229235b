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
#include "twain_application.h"

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
    const std::string& Error() const { return twain_.Error(); }

private:
    TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return twain_.ToSource(dg, dat, msg, data);
    }
    bool Fail(const std::string& what, TW_UINT16 rc) { return twain_.Fail(what, rc); }
    bool SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const char* name) {
        return twain_.SetOneValue(cap, itemType, value, name);
    }
    bool TransferOne(const std::string& file, double* seconds);

    TwainApplication twain_{"transfer bench", "Benchmarks"};
    Mechanism mechanism_ = Mechanism::Native;
    int pagesPerEnabling_ = 1;
    bool firstTransfer_ = true;
    MemoryCounters beforeFirst_;
    TW_IMAGEINFO info_{};
    std::uint64_t lastBytes_ = 0;
    void* strip_ = nullptr;  // the memory transfer's buffer, kept between images
    TW_UINT32 stripSize_ = 0;
};
