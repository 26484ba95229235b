// The statuses the simulated scanner answers. Every command returns one
// and GetCommandError repeats the status of the last command, so a caller
// that ignores a result can still find out later that it was rejected.
#pragma once

#include <cstdint>

namespace sim {

enum Status : std::int16_t {
    kOk = 0,
    kBadValue = -1,          // unknown code, block type or mode, or a value out of range
    kBadPointer = -2,        // a pointer the command must use is null
    kNotOpen = -3,           // no OpenScanner(..., 1) has succeeded yet
    kWindowAdjusted = -4,    // the window was clipped to the bed or to what the geometry can hold
    kNotSupported = -5,      // this model lacks the feature (colour, matrix 7)
    kInternalError = -6,     // the simulator itself failed (out of memory)
    kEmptyWindow = -7,       // the window holds no whole pixel or no whole line
    kNoCommunication = -10,  // the status a scanner that does not answer gives
    kFeederJam = -12,        // a sheet stuck in the document feeder; reads fail until the next set-up
};

}  // namespace sim
