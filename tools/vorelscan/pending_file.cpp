// The pending file through the wide Windows calls: names in any language.
#include "pending_file.h"

#include <cstdio>

#include "wide_text.h"

namespace {

// ".vorelscan-<process>-<n>.part" in the target's folder: ASCII, so that a
// file transfer can carry it whenever it can carry the folder.
std::wstring NewNameBeside(const std::wstring& target, unsigned serial) {
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    wchar_t leaf[64];
    std::swprintf(leaf, 64, L".vorelscan-%lu-%u.part", static_cast<unsigned long>(::GetCurrentProcessId()), serial);
    return folder + leaf;
}

}  // namespace

std::string WindowsErrorText(DWORD code) {
    switch (code) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "the disk is full";
        case ERROR_ACCESS_DENIED:
            return "access denied";
        case ERROR_PATH_NOT_FOUND:
            return "no such folder";
        case ERROR_WRITE_PROTECT:
            return "the disk is write-protected";
        case ERROR_SUCCESS:  // a write that took fewer bytes than it was given
        case ERROR_GEN_FAILURE:
            return "the disk took no more: is it full?";
        default:
            return "Windows error " + std::to_string(code);
    }
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    return slash == 0 || (slash == 2 && path[1] == ':') ? path.substr(0, slash + 1) : path.substr(0, slash);
}

bool FolderExists(const std::string& folder) {
    const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::Create(const std::string& target, std::string* error) {
    Discard();
    targetText_ = target;
    target_ = WideFromUtf8(target);
    for (unsigned serial = 0; serial < 1000; ++serial) {
        name_ = NewNameBeside(target_, serial);
        file_ = ::CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) return true;
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    const DWORD code = ::GetLastError();
    name_.clear();
    *error = "cannot create a file in the folder of " + target + " (" + WindowsErrorText(code) + ")";
    return false;
}

bool PendingFile::WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    if (file_ == INVALID_HANDLE_VALUE || !::SetFilePointerEx(file_, position, nullptr, FILE_BEGIN) ||
        !::WriteFile(file_, bytes, static_cast<DWORD>(size), &written, nullptr) || written != size) {
        writeError_ = "cannot write " + targetText_ + " (" + WindowsErrorText(::GetLastError()) + ")";
        return false;
    }
    return true;
}

bool PendingFile::Truncate(std::uint64_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    return file_ != INVALID_HANDLE_VALUE && ::SetFilePointerEx(file_, position, nullptr, FILE_BEGIN) &&
           ::SetEndOfFile(file_);
}

void PendingFile::Release() {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

bool PendingFile::Commit(std::string* error) {
    if (name_.empty()) return false;
    const bool flushed = file_ == INVALID_HANDLE_VALUE || ::FlushFileBuffers(file_);
    Release();
    if (!flushed || !::MoveFileExW(name_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = "cannot put the image at " + targetText_ + " (" + WindowsErrorText(::GetLastError()) + ")";
        Discard();
        return false;
    }
    name_.clear();
    return true;
}

void PendingFile::Discard() {
    Release();
    if (!name_.empty()) ::DeleteFileW(name_.c_str());
    name_.clear();
}
