// The pending file through the wide Windows calls: names in any language.
#include "pending_file.h"

#include <cstdio>
#include <cwchar>

#include "interruption.h"
#include "wide_text.h"

namespace {

// ".vorelscan-<process>-<n>.part" in the target's folder: ASCII, so that a
// file transfer can carry it whenever it can carry the folder.
std::wstring NewNameBeside(const std::wstring& target, unsigned serial) {
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    return folder + WideFromUtf8(ToolPartName(::GetCurrentProcessId(), serial));
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
        // Shared for deletion only: an interrupt that ends the process
        // deletes the file while it is open.
        file_ = ::CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) {
            interruption::AddPart(name_);
            return true;
        }
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
    // Windows refuses to replace a read-only file; Wine would replace it.
    const std::string problem = TargetProblem(targetText_);
    struct Move {
        const std::wstring& from;
        const std::wstring& to;
        DWORD code;
    } move{name_, target_, ERROR_SUCCESS};
    const bool moved = flushed && problem.empty() && interruption::UnlessInterrupted(
                                                         [](void* context) {
                                                             auto* m = static_cast<Move*>(context);
                                                             if (::MoveFileExW(m->from.c_str(), m->to.c_str(),
                                                                               MOVEFILE_REPLACE_EXISTING |
                                                                                   MOVEFILE_WRITE_THROUGH)) {
                                                                 return true;
                                                             }
                                                             m->code = ::GetLastError();
                                                             return false;
                                                         },
                                                         &move);
    if (!moved) {
        *error = !problem.empty() ? problem
                 : interruption::Requested()
                     ? "interrupted: " + targetText_ + " was left as it was"
                     : "cannot put the image at " + targetText_ + " (" +
                           WindowsErrorText(flushed ? move.code : ::GetLastError()) + ")";
        Discard();
        return false;
    }
    interruption::RemovePart(name_);
    name_.clear();
    return true;
}

void PendingFile::Discard() {
    Release();
    if (!name_.empty()) {
        ::DeleteFileW(name_.c_str());
        interruption::RemovePart(name_);
    }
    name_.clear();
}

std::string TargetProblem(const std::string& target) {
    const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return target + " is a folder, not a file";
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return target + " is read-only, and Windows does not replace a read-only file (access denied): clear its "
                        "read-only attribute, or choose another name";
    }
    return {};
}

namespace {

// A part file nobody has open is deleted; one that is open stays.
bool DeleteUnlessOpen(const std::wstring& name) {
    HANDLE file = ::CreateFileW(name.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

// Whether a process of that id runs this tool: ids are soon given to other
// processes, which keep no part file of the tool's.
bool ToolRuns(unsigned long id) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to ask
    DWORD code = 0;
    bool runs = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    wchar_t image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (runs && ::QueryFullProcessImageNameW(process, 0, image, &length)) {
        const wchar_t* leaf = std::wcsrchr(image, L'\\');
        runs = lstrcmpiW(leaf != nullptr ? leaf + 1 : image, L"vorelscan.exe") == 0;
    }
    ::CloseHandle(process);
    return runs;
}

}  // namespace

int RemoveStaleParts(const std::string& folder) {
    std::wstring base = WideFromUtf8(folder);
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/' && base.back() != L':') base += L'\\';
    int removed = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((base + L"*.part").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::string leaf = Utf8FromWide(found.cFileName);
        unsigned long process = 0;
        bool stale = false;
        switch (PartFileOwner(leaf, &process)) {
            case PartOwner::Tool:
                stale = process != ::GetCurrentProcessId() && !ToolRuns(process);
                break;
            case PartOwner::Source: {
                // Its name tells no process: only one that has not been
                // written for a while, so that a transfer that just closed
                // it to move it over its name keeps it.
                const ULONGLONG written = (ULONGLONG(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                          found.ftLastWriteTime.dwLowDateTime;
                const ULONGLONG current = (ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime;
                stale = current > written && current - written >= kSourcePartAgeSeconds * 10000000ULL;
                break;
            }
            case PartOwner::Other:
                break;
        }
        if (stale && DeleteUnlessOpen(base + found.cFileName)) ++removed;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return removed;
}
