// Makes the scanner's data come no faster than a device of a given speed
// would send it: each read waits until the bytes of the scan so far would
// have arrived at that rate since the scan started.
#pragma once

#include <chrono>
#include <cstdint>

namespace sim {

class ReadPacer {
public:
    // bytesPerSecond 0: no waiting at all.
    void SetRate(std::int64_t bytesPerSecond) { rate_ = bytesPerSecond; }
    void StartScan();
    // Waits until `bytesSoFar` bytes of this scan are due.
    void Pace(std::int64_t bytesSoFar);

private:
    std::int64_t rate_ = 0;
    std::chrono::steady_clock::time_point start_{};
};

}  // namespace sim
