// A small reader of PE files, for checking what the built modules export
// and import.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PeExports {
    std::vector<std::string> names;
    std::vector<std::uint32_t> ordinals;  // ordinals with an address
};

struct PeImage {
    bool valid = false;
    PeExports exports;
    std::vector<std::string> importedLibraries;
};

PeImage ReadPeImage(const std::string& path);
