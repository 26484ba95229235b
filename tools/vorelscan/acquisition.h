// One acquisition through a source manager: open the manager and the
// source, negotiate from the options, enable, wait for the transfer, move
// the image (or every image of a batch) by the chosen mechanism, and close
// everything again.
#pragma once

#include <string>

#include "scan_options.h"

// Returns 0 when every image arrived (for a batch with a count, every one
// asked for); on failure writes why to `error`. `pages` receives how many
// images were written.
int Acquire(const ScanOptions& options, std::string* error, int* pages = nullptr);
