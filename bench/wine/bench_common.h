// What the transfer benchmark's parts share: the page asked for, a clock,
// the process's memory counters and the summary of a series of runs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The scan: colour at `dpi` over a region of the bed in 1/300 inch.
struct PageSpec {
    int dpi = 300;
    int left = 0;
    int top = 0;
    int right = 2550;
    int bottom = 3300;
};

// The flags of the page every benchmark takes, --dpi N and --region
// L,T,R,B: false when `flag` is neither, else whether its value was read.
inline bool ReadPageFlag(const std::string& flag, const char* value, PageSpec* page, bool* read) {
    if (flag == "--dpi") {
        page->dpi = std::atoi(value);
        *read = true;
        return true;
    }
    if (flag != "--region") return false;
    *read = std::sscanf(value, "%d,%d,%d,%d", &page->left, &page->top, &page->right, &page->bottom) == 4;
    return true;
}

inline double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

// Resident memory of this process now and at its highest so far, in bytes.
struct MemoryCounters {
    std::uint64_t current = 0;
    std::uint64_t peak = 0;
};

inline MemoryCounters ReadMemoryCounters(HANDLE process = ::GetCurrentProcess()) {
    // GetProcessMemoryInfo's fields, declared here so that no import
    // library is needed: the kernel32 entry is looked up by name.
    struct Counters {
        DWORD cb;
        DWORD PageFaultCount;
        SIZE_T PeakWorkingSetSize;
        SIZE_T WorkingSetSize;
        SIZE_T QuotaPeakPagedPoolUsage;
        SIZE_T QuotaPagedPoolUsage;
        SIZE_T QuotaPeakNonPagedPoolUsage;
        SIZE_T QuotaNonPagedPoolUsage;
        SIZE_T PagefileUsage;
        SIZE_T PeakPagefileUsage;
    };
    using Query = BOOL(WINAPI*)(HANDLE, Counters*, DWORD);
    static const Query query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
    MemoryCounters result;
    Counters counters{};
    counters.cb = sizeof counters;
    if (query != nullptr && query(process, &counters, sizeof counters)) {
        result.current = counters.WorkingSetSize;
        result.peak = counters.PeakWorkingSetSize;
    }
    return result;
}

// Times of a series of runs, in seconds.
struct RunTimes {
    std::vector<double> seconds;

    void Add(double s) { seconds.push_back(s); }
    double Min() const { return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end()); }
    double Median() const {
        if (seconds.empty()) return 0;
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};
