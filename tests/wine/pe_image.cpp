// Reads the export and import directories of a PE file (32- or 64-bit) by hand:
// headers, section table, and the directories' tables mapped from RVAs to
// file offsets.
#include "pe_image.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

struct Reader {
    std::vector<std::uint8_t> bytes;
    struct Section {
        std::uint32_t rva, size, fileOffset;
    };
    std::vector<Section> sections;

    bool Has(std::size_t offset, std::size_t n) const { return offset + n <= bytes.size() && offset + n >= offset; }
    std::uint32_t U16(std::size_t o) const { return Has(o, 2) ? bytes[o] | bytes[o + 1] << 8 : 0; }
    std::uint32_t U32(std::size_t o) const {
        return Has(o, 4) ? bytes[o] | bytes[o + 1] << 8 | bytes[o + 2] << 16 | std::uint32_t(bytes[o + 3]) << 24 : 0;
    }
    // File offset of an RVA; 0 when no section holds it.
    std::size_t Offset(std::uint32_t rva) const {
        for (const Section& s : sections) {
            if (rva >= s.rva && rva < s.rva + s.size) return s.fileOffset + (rva - s.rva);
        }
        return 0;
    }
    std::string String(std::uint32_t rva) const {
        std::size_t o = Offset(rva);
        std::string text;
        while (o != 0 && Has(o, 1) && bytes[o] != 0 && text.size() < 256) text += static_cast<char>(bytes[o++]);
        return text;
    }
};

}  // namespace

PeImage ReadPeImage(const std::string& path) {
    PeImage image;
    Reader r;
    std::ifstream in(path, std::ios::binary);
    r.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (r.U16(0) != 0x5A4D) return image;  // "MZ"
    std::size_t pe = r.U32(0x3C);
    if (r.U32(pe) != 0x00004550) return image;  // "PE\0\0"
    std::size_t coff = pe + 4;
    std::uint32_t sectionCount = r.U16(coff + 2);
    std::uint32_t optionalSize = r.U16(coff + 16);
    std::size_t optional = coff + 20;
    // PE32 or PE32+: the 64-bit header's data directories begin 16 bytes later.
    const std::uint32_t magic = r.U16(optional);
    if (magic != 0x10B && magic != 0x20B) return image;
    std::size_t directories = optional + (magic == 0x20B ? 112 : 96);
    std::size_t sectionTable = optional + optionalSize;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        std::size_t s = sectionTable + 40 * i;
        std::uint32_t virtualSize = r.U32(s + 8), rawSize = r.U32(s + 16);
        r.sections.push_back({r.U32(s + 12), virtualSize > rawSize ? virtualSize : rawSize, r.U32(s + 20)});
    }

    std::uint32_t exportRva = r.U32(directories);
    if (exportRva != 0) {
        std::size_t e = r.Offset(exportRva);
        std::uint32_t base = r.U32(e + 16), functionCount = r.U32(e + 20), nameCount = r.U32(e + 24);
        std::size_t functions = r.Offset(r.U32(e + 28)), names = r.Offset(r.U32(e + 32));
        for (std::uint32_t i = 0; i < functionCount && i < 0x10000; ++i) {
            if (r.U32(functions + 4 * i) != 0) image.exports.ordinals.push_back(base + i);
        }
        for (std::uint32_t i = 0; i < nameCount && i < 0x10000; ++i) {
            image.exports.names.push_back(r.String(r.U32(names + 4 * i)));
        }
    }

    std::uint32_t importRva = r.U32(directories + 8);
    if (importRva != 0) {
        for (std::size_t d = r.Offset(importRva); r.Has(d, 20) && r.U32(d + 12) != 0; d += 20) {
            image.importedLibraries.push_back(r.String(r.U32(d + 12)));
        }
    }
    image.valid = true;
    return image;
}
