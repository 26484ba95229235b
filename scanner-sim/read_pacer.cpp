// Waiting for a slow scanner's bytes.
#include "read_pacer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace sim {
namespace {

void SleepMicroseconds(std::int64_t microseconds) {
#ifdef _WIN32
    ::Sleep(static_cast<DWORD>((microseconds + 999) / 1000));
#else
    timespec wait{static_cast<time_t>(microseconds / 1000000), static_cast<long>(microseconds % 1000000) * 1000};
    nanosleep(&wait, nullptr);
#endif
}

}  // namespace

void ReadPacer::StartScan() { start_ = std::chrono::steady_clock::now(); }

void ReadPacer::Pace(std::int64_t bytesSoFar) {
    if (rate_ <= 0 || bytesSoFar <= 0) return;
    const auto due = start_ + std::chrono::microseconds(bytesSoFar * 1000000 / rate_);
    const auto now = std::chrono::steady_clock::now();
    if (due <= now) return;
    SleepMicroseconds(std::chrono::duration_cast<std::chrono::microseconds>(due - now).count());
}

}  // namespace sim
