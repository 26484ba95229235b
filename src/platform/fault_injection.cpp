// The two fault points. They are constant-initialised, so an operator new
// that asks one before any constructor has run finds it ready.
#include "platform/fault_injection.h"

namespace platform {
namespace {
FaultPoint allocationFaults;
FaultPoint fileWriteFaults;
}  // namespace

FaultPoint& AllocationFaults() { return allocationFaults; }
FaultPoint& FileWriteFaults() { return fileWriteFaults; }

}  // namespace platform
