// The simulated scanner command library as seen from native code: the
// table of its twelve functions and a way back to the power-on state. The
// Windows build exports the same twelve functions by ordinal from
// VOREL32.dll; the native build links them into the unit tests and
// benchmarks, which reach them through this table.
#pragma once

#include "device/scanner_library.h"

// The twelve simulated functions, in the table's order.
const ScannerLibrary& SimulatedScannerLibrary();

// Puts the simulated scanner back to its power-on state: closed, default
// set-up, no downloaded blocks, no scan under way, and the VOREL_SIM_*
// environment variables read again.
void ResetSimulator();
