// vorel_transfer_bench: times one way of moving a colour scan out of the
// Vorel source, inside this process, and prints one line of results.
//
//   --mode native|memory|tiff|bmp   a transfer through the source
//   --mode raw-rgb|raw-bgr          the scanner library's own read of the
//                                   same bytes into one buffer (the yardstick)
//   --mode breakdown                what a native transfer's parts cost
//   --mode open                     MSG_OPENDS and MSG_CLOSEDS of the source
//                                   (with the 64-bit source: its helper's start)
//   --dpi N  --region L,T,R,B (1/300 inch)  --runs N  --warmup N
//   --pages N (images per enabling)  --out FILE (file transfers)
//
// Each run's time is that of the transfer triplets alone. A transfer's runs
// alternate with the scanner library's own read of the same bytes (red and
// blue exchanged for the DIB and the BMP file), whose times are printed
// beside, so that both are measured under the same conditions. Memory
// figures are the resident set: before the first transfer (the raw read's
// buffer already in it), and its peak at the end.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_common.h"
#include "bench_session.h"
#include "raw_read.h"

namespace {

struct Options {
    std::string mode = "native";
    PageSpec page;
    int runs = 5;
    int warmup = 1;
    int pages = 1;
    std::string out = "bench.out";
};

bool Parse(int argc, char** argv, Options* o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const char* value = argv[i + 1];
        bool read = true;
        if (ReadPageFlag(flag, value, &o->page, &read)) {
            if (!read) return false;
        } else if (flag == "--mode") {
            o->mode = value;
        } else if (flag == "--runs") {
            o->runs = std::atoi(value);
        } else if (flag == "--warmup") {
            o->warmup = std::atoi(value);
        } else if (flag == "--pages") {
            o->pages = std::atoi(value);
        } else if (flag == "--out") {
            o->out = value;
        } else {
            return false;
        }
    }
    return (argc % 2) == 1 && o->runs > 0 && o->warmup >= 0 && o->pages > 0 && o->page.dpi > 0;
}

// The resident memory of the 64-bit source's helper process, when there is one.
bool HelperMemory(MemoryCounters* counters) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found; more = ::Process32Next(snapshot, &entry)) {
        if (_stricmp(entry.szExeFile, "vorelhost32.exe") != 0) continue;
        HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
        if (process == nullptr) continue;
        *counters = ReadMemoryCounters(process);
        ::CloseHandle(process);
        found = counters->current != 0;
    }
    ::CloseHandle(snapshot);
    return found;
}

void PrintHelperMemory() {
    MemoryCounters helper;
    if (HelperMemory(&helper)) {
        std::printf(" helper_kib=%llu helper_peak_kib=%llu", static_cast<unsigned long long>(helper.current / 1024),
                    static_cast<unsigned long long>(helper.peak / 1024));
    }
}

void PrintResult(const Options& o, int width, int lines, std::uint64_t bytes, const RunTimes& times,
                 std::uint64_t idle, std::uint64_t peak, const RunTimes* raw = nullptr) {
    std::printf("result mode=%s dpi=%d width=%d lines=%d bytes=%llu runs=%zu min_ms=%.3f median_ms=%.3f "
                "idle_kib=%llu peak_kib=%llu",
                o.mode.c_str(), o.page.dpi, width, lines, static_cast<unsigned long long>(bytes),
                times.seconds.size(), times.Min() * 1e3, times.Median() * 1e3,
                static_cast<unsigned long long>(idle / 1024), static_cast<unsigned long long>(peak / 1024));
    if (raw != nullptr) std::printf(" raw_min_ms=%.3f raw_median_ms=%.3f", raw->Min() * 1e3, raw->Median() * 1e3);
    PrintHelperMemory();
    std::printf("\n");
}

// Opening and closing the source, each time from a manager just opened.
int RunOpen(const Options& o) {
    RunTimes warmup, times;
    for (int run = 0; run < o.warmup + o.runs; ++run) {
        TwainApplication twain("transfer bench", "Benchmarks");
        const double start = Seconds();
        if (!twain.Open()) {
            std::fprintf(stderr, "transfer bench: %s\n", twain.Error().c_str());
            return 1;
        }
        (run >= o.warmup ? times : warmup).Add(Seconds() - start);
        if (run + 1 == o.warmup + o.runs) {
            std::printf("result mode=open dpi=0 width=0 lines=0 bytes=0 runs=%zu min_ms=%.3f median_ms=%.3f",
                        times.seconds.size(), times.Min() * 1e3, times.Median() * 1e3);
            PrintHelperMemory();
            std::printf("\n");
        }
        twain.Close();
    }
    return 0;
}

// A buffer of `bytes` whose pages have all been touched once.
std::uint8_t* WarmBuffer(std::size_t bytes) {
    void* memory = ::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    auto* buffer = static_cast<std::uint8_t*>(memory);
    if (buffer != nullptr) std::memset(buffer, 1, bytes);
    return buffer;
}

// Writes `bytes` from `data` to a new file in writes of `chunk` bytes.
bool WriteNewFile(const std::string& name, const std::uint8_t* data, std::size_t bytes, std::size_t chunk) {
    HANDLE file = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes;) {
        const DWORD n = static_cast<DWORD>(bytes - done < chunk ? bytes - done : chunk);
        DWORD written = 0;
        ok = ::WriteFile(file, data + done, n, &written, nullptr) && written == n;
        done += n;
    }
    ::CloseHandle(file);
    return ok;
}

int RunTransfer(const Options& o, Mechanism mechanism) {
    BenchSession session;
    if (!session.Open(mechanism, o.page, o.pages)) {
        std::fprintf(stderr, "transfer bench: %s\n", session.Error().c_str());
        return 1;
    }
    // The scanner set up by the raw read is set up again by the source at
    // each enabling.
    const bool blueFirst = mechanism == Mechanism::Native || mechanism == Mechanism::FileBmp;
    // A 64-bit process cannot load the 32-bit library: no raw read beside it.
    const bool withRaw = sizeof(void*) == 4;
    RawScanner scanner;
    if (withRaw && (!scanner.Load(true) || !scanner.SetUp(o.page, blueFirst))) {
        std::fprintf(stderr, "transfer bench: %s\n", scanner.Error().c_str());
        return 1;
    }
    std::uint8_t* buffer = withRaw ? WarmBuffer(scanner.TotalBytes()) : nullptr;
    if (withRaw && buffer == nullptr) return 1;

    RunTimes warmup, times, raw, rawWarmup;
    for (int run = 0; run < o.warmup + o.runs; ++run) {
        const bool counted = run >= o.warmup;
        double seconds = 0;
        if (withRaw && (!scanner.SetUp(o.page, blueFirst) || !scanner.ReadAll(buffer, &seconds))) {
            std::fprintf(stderr, "transfer bench: %s\n", scanner.Error().c_str());
            return 1;
        }
        if (withRaw) (counted ? raw : rawWarmup).Add(seconds);
        if (!session.RunEnabling(o.out, counted ? &times : &warmup)) {
            std::fprintf(stderr, "transfer bench: %s\n", session.Error().c_str());
            return 1;
        }
    }
    const MemoryCounters end = ReadMemoryCounters();
    const TW_IMAGEINFO& info = session.LastImageInfo();
    PrintResult(o, info.ImageWidth, info.ImageLength, session.LastImageBytes(), times,
                session.BeforeFirstTransfer().current, end.peak, withRaw ? &raw : nullptr);
    if (buffer != nullptr) ::VirtualFree(buffer, 0, MEM_RELEASE);
    return 0;
}

// A block of `bytes` fresh from the system, as the source gets its DIB.
std::uint8_t* FreshBlock(HGLOBAL* handle, std::size_t bytes, UINT flags) {
    *handle = ::GlobalAlloc(flags, bytes);
    return *handle == nullptr ? nullptr : static_cast<std::uint8_t*>(::GlobalLock(*handle));
}

void DropBlock(HGLOBAL handle) {
    ::GlobalUnlock(handle);
    ::GlobalFree(handle);
}

template <typename Work, typename Before>
double Best(int runs, Work work, Before before) {
    RunTimes times;
    for (int run = 0; run <= runs; ++run) {  // the first one warms up
        before();
        const double start = Seconds();
        work();
        const double seconds = Seconds() - start;
        if (run > 0) times.Add(seconds);
    }
    return times.Min();
}

template <typename Work>
double Best(int runs, Work work) {
    return Best(runs, work, [] {});
}

int RunBreakdown(const Options& o) {
    RawScanner scanner;
    if (!scanner.Load() || !scanner.SetUp(o.page, true)) {
        std::fprintf(stderr, "transfer bench: %s\n", scanner.Error().c_str());
        return 1;
    }
    const std::size_t bytes = scanner.TotalBytes();
    const std::size_t pageSize = 4096;
    std::uint8_t* warm = WarmBuffer(bytes);
    if (warm == nullptr) return 1;
    auto line = [&](const char* name, double seconds) {
        std::printf("breakdown dpi=%d bytes=%zu part=%s min_ms=%.3f\n", o.page.dpi, bytes, name, seconds * 1e3);
    };
    bool ok = true;
    line("scanner-read-warm-buffer", Best(o.runs, [&] {
             double s;
             ok = scanner.SetUp(o.page, true) && scanner.ReadAll(warm, &s) && ok;
         }));
    line("scanner-read-fresh-block", Best(o.runs, [&] {
             HGLOBAL h;
             std::uint8_t* p = FreshBlock(&h, bytes, GMEM_MOVEABLE | GMEM_DDESHARE);
             double s;
             ok = p != nullptr && scanner.SetUp(o.page, true) && scanner.ReadAll(p, &s) && ok;
             DropBlock(h);
         }));
    line("alloc-zeroinit-untouched", Best(o.runs, [&] {
             HGLOBAL h;
             ok = FreshBlock(&h, bytes, GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT) != nullptr && ok;
             DropBlock(h);
         }));
    line("alloc-touch-every-page", Best(o.runs, [&] {
             HGLOBAL h;
             std::uint8_t* p = FreshBlock(&h, bytes, GMEM_MOVEABLE | GMEM_DDESHARE);
             if (p != nullptr)
                 for (std::size_t k = 0; k < bytes; k += pageSize) p[k] = 0;
             DropBlock(h);
         }));
    line("alloc-zeroinit-touch-every-page", Best(o.runs, [&] {
             HGLOBAL h;
             std::uint8_t* p = FreshBlock(&h, bytes, GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT);
             if (p != nullptr)
                 for (std::size_t k = 0; k < bytes; k += pageSize) p[k] = 0;
             DropBlock(h);
         }));
    line("alloc-memset-whole", Best(o.runs, [&] {
             HGLOBAL h;
             std::uint8_t* p = FreshBlock(&h, bytes, GMEM_MOVEABLE | GMEM_DDESHARE);
             if (p != nullptr) std::memset(p, 0, bytes);
             DropBlock(h);
         }));
    std::uint8_t* block = static_cast<std::uint8_t*>(std::malloc(64000));
    std::memset(block, 2, 64000);
    line("copy-through-64000-into-warm", Best(o.runs, [&] {
             for (std::size_t done = 0; done < bytes; done += 64000)
                 std::memcpy(warm + done, block, bytes - done < 64000 ? bytes - done : 64000);
         }));
    // What a memory transfer's per-strip checks of the application's
    // pointers cost: two VirtualQuery calls per strip of 61200 bytes.
    const std::size_t strips = bytes / 61200;
    line("virtualquery-two-per-strip", Best(o.runs, [&] {
             MEMORY_BASIC_INFORMATION info;
             for (std::size_t k = 0; k < 2 * strips; ++k) ::VirtualQuery(block, &info, sizeof info);
         }));
    std::free(block);
    auto removeFile = [&] { ::DeleteFileA(o.out.c_str()); };
    line("file-write-new-60000", Best(o.runs, [&] { ok = WriteNewFile(o.out, warm, bytes, 60000) && ok; }, removeFile));
    line("file-write-new-960000",
         Best(o.runs, [&] { ok = WriteNewFile(o.out, warm, bytes, 960000) && ok; }, removeFile));
    ::DeleteFileA(o.out.c_str());
    ::VirtualFree(warm, 0, MEM_RELEASE);
    return ok ? 0 : 1;
}

int RunRaw(const Options& o, bool blueFirst) {
    RawScanner scanner;
    if (!scanner.Load() || !scanner.SetUp(o.page, blueFirst)) {
        std::fprintf(stderr, "transfer bench: %s\n", scanner.Error().c_str());
        return 1;
    }
    const std::size_t bytes = scanner.TotalBytes();
    std::uint8_t* buffer = WarmBuffer(bytes);
    if (buffer == nullptr) return 1;
    const MemoryCounters idle = ReadMemoryCounters();
    RunTimes times;
    for (int run = 0; run < o.warmup + o.runs; ++run) {
        double seconds = 0;
        if (!scanner.SetUp(o.page, blueFirst) || !scanner.ReadAll(buffer, &seconds)) {
            std::fprintf(stderr, "transfer bench: %s\n", scanner.Error().c_str());
            return 1;
        }
        if (run >= o.warmup) times.Add(seconds);
    }
    PrintResult(o, scanner.PixelsPerLine(), scanner.Lines(), bytes, times, idle.current, ReadMemoryCounters().peak);
    ::VirtualFree(buffer, 0, MEM_RELEASE);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, &o)) {
        std::fputs("usage: vorel_transfer_bench --mode native|memory|tiff|bmp|raw-rgb|raw-bgr|breakdown|open\n"
                   "       [--dpi N] [--region L,T,R,B] [--runs N] [--warmup N] [--pages N] [--out FILE]\n",
                   stderr);
        return 2;
    }
    if (o.mode == "native") return RunTransfer(o, Mechanism::Native);
    if (o.mode == "memory") return RunTransfer(o, Mechanism::Memory);
    if (o.mode == "tiff") return RunTransfer(o, Mechanism::FileTiff);
    if (o.mode == "bmp") return RunTransfer(o, Mechanism::FileBmp);
    if (o.mode == "raw-rgb") return RunRaw(o, false);
    if (o.mode == "raw-bgr") return RunRaw(o, true);
    if (o.mode == "breakdown") return RunBreakdown(o);
    if (o.mode == "open") return RunOpen(o);
    std::fprintf(stderr, "transfer bench: unknown mode %s\n", o.mode.c_str());
    return 2;
}
