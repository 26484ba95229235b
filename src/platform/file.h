// Files the source writes: the transfer files and the test open of a file
// name, and the deletion of a file by name. Writers receive an open File;
// nothing else in the source touches the file system.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

enum class FileMode {
    CreateReadWrite,  // create, or empty an existing file; read and write
    ReadWrite,        // an existing file only, neither created nor emptied
    CreateNew,        // a new file only: fails when the name exists
};

class File {
public:
    File() = default;
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Open(const char* name, FileMode mode);
    // True only when every byte was written.
    bool Write(const void* data, std::size_t bytes);
    // Reads up to `bytes` from where the file stands; the bytes read (0 at
    // the end or on failure).
    std::size_t Read(void* data, std::size_t bytes);
    // The next write goes to byte `offset` of the file; writing past the
    // end leaves zeros between the end and the new bytes.
    bool Seek(std::uint64_t offset);
    // Ends the file where the writing stands, so that nothing of an older,
    // longer file stays behind what was written.
    bool EndHere();
    // Cuts the file to nothing, so that a writer that failed part-way
    // leaves an empty file rather than a broken image.
    bool Discard();
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

// True when the file existed and is gone.
bool DeleteFileByName(const char* name);
// Moves the file `from` to the name `to` in one step, replacing a file of
// that name; true when done. Both names lie in the same folder.
bool ReplaceFileByName(const char* from, const char* to);

}  // namespace platform
