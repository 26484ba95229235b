// The two fault points. Statics are zeroed before any code runs, so an
// operator new that asks one before its constructor has run finds it idle.
#include "platform/fault_injection.h"

namespace platform {
namespace {
FaultPoint allocationFaults;
FaultPoint fileWriteFaults;
}  // namespace

FaultPoint& AllocationFaults() { return allocationFaults; }
FaultPoint& FileWriteFaults() { return fileWriteFaults; }

}  // namespace platform
