// A file written beside its final name and moved over it only when
// complete, so that a scan that fails (or is interrupted) leaves a file
// already at that name exactly as it was, and no half-written file behind.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "image_writer.h"
#include "tool_rules.h"

class PendingFile : public ByteSink {
public:
    PendingFile() = default;
    ~PendingFile() override;  // a file never committed is deleted
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the new file in the folder of `target` (UTF-8); on failure
    // says why in `error`.
    bool Create(const std::string& target, std::string* error);
    bool WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) override;
    bool Truncate(std::uint64_t size) override;
    // Closes the file, leaving it to someone else to write (a file transfer
    // by the source); Commit and the destructor still apply to it.
    void Release();
    // Moves the file over the target's name in one step.
    bool Commit(std::string* error);
    // Why the last write failed, in words.
    const std::string& WriteError() const { return writeError_; }
    const std::wstring& Name() const { return name_; }

private:
    void Discard();

    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::wstring name_;
    std::wstring target_;
    std::string targetText_;
    std::string writeError_;
};

// The folder part of a file name ("." for a bare name), and whether it
// exists; both on UTF-8 names.
std::string FolderOf(const std::string& path);
bool FolderExists(const std::string& folder);
// A Windows error code in words.
std::string WindowsErrorText(DWORD code);
// Why a finished image cannot be put at `target` (a read-only file, a
// folder), in words; "" when nothing stands in the way.
std::string TargetProblem(const std::string& target);
// Deletes the part files in `folder` that scans which never finished left
// behind, ones nobody has open: the tool's own whose process has ended, and
// the source's that have not been written for a while. Returns how many.
int RemoveStaleParts(const std::string& folder);
