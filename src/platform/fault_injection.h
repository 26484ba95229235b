// Faults made on purpose, for tests: the n-th memory allocation or the n-th
// file write fails, so that every place the source can run out of memory or
// disk is reached in turn. The allocators and the file layer ask their fault
// point at each event; nothing fails until a test arms one, and the Windows
// build never arms them.
#pragma once

#include <atomic>
#include <thread>

namespace platform {

class FaultPoint {
public:
    // From now on events of the calling thread are counted from 1 and the
    // n-th one fails; with n 0 they are only counted. Other threads (a test
    // framework's own) neither count nor fail, so the count is the same
    // from run to run.
    void Arm(long n) {
        owner_.store(std::this_thread::get_id());
        failAt_.store(n);
        counted_.store(0);
        failed_.store(false);
        counting_.store(true);
    }
    // Stops counting and failing.
    void Disarm() { counting_.store(false); }
    // Held events are neither counted nor failed: a test holds the point
    // while its own code runs between the source's calls.
    void Hold(bool held) { held_.store(held); }

    bool IsHeld() const { return held_.load(); }
    long Counted() const { return counted_.load(); }
    // True once the armed event has come and failed.
    bool Failed() const { return failed_.load(); }

    // Asked at every event; true when this one must fail.
    bool Hit() {
        if (!counting_.load() || held_.load() || owner_.load() != std::this_thread::get_id()) return false;
        const long n = counted_.fetch_add(1) + 1;
        if (n != failAt_.load()) return false;
        failed_.store(true);
        return true;
    }

private:
    std::atomic<bool> counting_{false};
    std::atomic<bool> held_{false};
    std::atomic<bool> failed_{false};
    std::atomic<long> counted_{0};
    std::atomic<long> failAt_{0};
    std::atomic<std::thread::id> owner_{};
};

// Global memory blocks, and operator new in the test programs that replace it.
FaultPoint& AllocationFaults();
// File::Write: the failing write puts down the first half of its bytes, as
// on a disk that fills up on the way.
FaultPoint& FileWriteFaults();

}  // namespace platform
