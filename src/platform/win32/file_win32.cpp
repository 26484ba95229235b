// Files over the Windows file handles.
#include <windows.h>

#include "platform/file.h"

namespace platform {

bool File::Open(const char* name, FileMode mode) {
    Close();
    if (name == nullptr || name[0] == '\0') return false;
    DWORD disposition = mode == FileMode::CreateReadWrite ? CREATE_ALWAYS
                        : mode == FileMode::CreateNew    ? CREATE_NEW
                                                         : OPEN_EXISTING;
    HANDLE file = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = file;
    return true;
}

bool File::Write(const void* data, std::size_t bytes) {
    if (handle_ == nullptr) return false;
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        DWORD chunk = bytes > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes);
        DWORD written = 0;
        if (!::WriteFile(static_cast<HANDLE>(handle_), p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        bytes -= written;
    }
    return true;
}

std::size_t File::Read(void* data, std::size_t bytes) {
    if (handle_ == nullptr) return 0;
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t left = bytes - done;
        const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!::ReadFile(static_cast<HANDLE>(handle_), static_cast<char*>(data) + done, chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

bool File::Seek(std::uint64_t offset) {
    if (handle_ == nullptr || offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(static_cast<HANDLE>(handle_), to, nullptr, FILE_BEGIN) != 0;
}

bool File::EndHere() { return handle_ != nullptr && ::SetEndOfFile(static_cast<HANDLE>(handle_)) != 0; }

bool File::Discard() {
    if (handle_ == nullptr) return false;
    if (::SetFilePointer(static_cast<HANDLE>(handle_), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    return ::SetEndOfFile(static_cast<HANDLE>(handle_)) != 0;
}

void File::Close() {
    if (handle_ != nullptr) {
        ::CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

bool DeleteFileByName(const char* name) { return name != nullptr && ::DeleteFileA(name) != 0; }

bool ReplaceFileByName(const char* from, const char* to) {
    return from != nullptr && to != nullptr &&
           ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace platform
