// Small rules of vorelscan that need no Windows, kept here so that the
// native unit tests reach them: whose part file a name is, and sentences
// the tool builds from counts.
#pragma once

#include <cstdint>
#include <string>

// Who leaves a part file of this name: the tool (".vorelscan-<process>-<n>.part",
// with the process's id), the source's file transfer ("~vorel-transfer<n>.part"),
// or neither.
enum class PartOwner { Tool, Source, Other };
PartOwner PartFileOwner(const std::string& leaf, unsigned long* process);
// The tool's part file name for a process and serial.
std::string ToolPartName(unsigned long process, unsigned serial);

// A source's part file this long unwritten belongs to no transfer that runs.
constexpr unsigned kSourcePartAgeSeconds = 60;

// What a failed batch kept: "; the 2 pages before it were written",
// "; the page before it was written", "; FILE holds the page before it";
// "" when none was.
std::string KeptPagesText(int written, bool multipage, const std::string& out);

// Why a memory buffer of `size` bytes is refused, or "" when it is taken:
// it must hold a row of `rowBytes` (in whole 32-bit words as the strips
// carry them) and the source's minimum `sourceMinimum`, and at most
// `maximum` bytes.
std::string MemoryBufferRefusal(std::uint32_t size, std::uint32_t rowBytes, std::uint32_t sourceMinimum,
                                std::uint32_t maximum);
