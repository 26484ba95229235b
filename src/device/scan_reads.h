// The sizes scan data travel in between the scanner and an application.
#pragma once

#include <cstdint>

// The most the source asks the scanner for in one read: 64000 bytes. It is
// also the most one memory strip holds, and that is one limit, not two: a
// strip of whole rows within it asks for no more lines than one read
// takes, so each strip is a single read of the scanner straight into the
// application's buffer. A larger strip would split into several reads, a
// larger read could not go straight into any strip. The 64-bit source's
// helper sizes its read-ahead for reads of at most this size.
constexpr std::uint32_t kMaxScanRead = 64000;

// The least memory strip an application may hand over: a smaller buffer
// would cost a call into the source for every few rows.
constexpr std::uint32_t kMinMemoryStrip = 4096;
