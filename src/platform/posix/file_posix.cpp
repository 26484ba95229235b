// Files for the native build, over POSIX descriptors.
#include "platform/file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/fault_injection.h"

namespace platform {
namespace {

int Descriptor(void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1; }
void* HandleOf(int fd) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1); }

}  // namespace

bool File::Open(const char* name, FileMode mode) {
    Close();
    if (name == nullptr || name[0] == '\0') return false;
    int flags = O_RDWR;
    if (mode == FileMode::CreateReadWrite) flags |= O_CREAT | O_TRUNC;
    if (mode == FileMode::CreateNew) flags |= O_CREAT | O_EXCL;
    int fd = ::open(name, flags, 0644);
    if (fd < 0) return false;
    handle_ = HandleOf(fd);
    return true;
}

bool File::Write(const void* data, std::size_t bytes) {
    if (handle_ == nullptr) return false;
    const char* p = static_cast<const char*>(data);
    if (FileWriteFaults().Hit()) {
        // A disk that fills up on the way: half of it lands, then no more.
        if (bytes / 2 > 0) {
            const ssize_t ignored = ::write(Descriptor(handle_), p, bytes / 2);
            (void)ignored;
        }
        return false;
    }
    while (bytes > 0) {
        ssize_t n = ::write(Descriptor(handle_), p, bytes);
        if (n <= 0) return false;
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t File::Read(void* data, std::size_t bytes) {
    if (handle_ == nullptr) return 0;
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::read(Descriptor(handle_), static_cast<char*>(data) + done, bytes - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool File::Seek(std::uint64_t offset) {
    if (handle_ == nullptr || offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
    return ::lseek(Descriptor(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::EndHere() {
    if (handle_ == nullptr) return false;
    off_t at = ::lseek(Descriptor(handle_), 0, SEEK_CUR);
    return at >= 0 && ::ftruncate(Descriptor(handle_), at) == 0;
}

bool File::Discard() {
    if (handle_ == nullptr) return false;
    return ::ftruncate(Descriptor(handle_), 0) == 0 && ::lseek(Descriptor(handle_), 0, SEEK_SET) == 0;
}

void File::Close() {
    if (handle_ != nullptr) {
        ::close(Descriptor(handle_));
        handle_ = nullptr;
    }
}

bool DeleteFileByName(const char* name) { return name != nullptr && ::unlink(name) == 0; }

bool ReplaceFileByName(const char* from, const char* to) {
    return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}

}  // namespace platform
