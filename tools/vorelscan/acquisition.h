// One acquisition through a source manager: open the manager and the
// source, negotiate from the options, enable, wait for the transfer, move
// the image by the chosen mechanism, and close everything again.
#pragma once

#include <string>

#include "scan_options.h"

// Returns 0 on success; on failure writes why to `error`.
int Acquire(const ScanOptions& options, std::string* error);
