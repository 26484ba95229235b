// vorelhost32.exe: the 32-bit process in which the 64-bit source's scanner
// library runs. It loads VOREL32.dll as the 32-bit source does (beside
// itself first), connects to the pipe its command line names, maps the
// section its first message hands over and then answers one call per
// message until the pipe closes. It has no window and ends with the process
// that started it: a thread waits on that process, and a broken pipe ends
// the loop.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "device/helper_channel.h"
#include "device/remote_scanner.h"
#include "device/scanner_library.h"
#include "platform/strings.h"

// The module the library is looked for beside. (The source's string
// resources are not needed here, so neither is USER32.dll.)
namespace platform {
namespace {
void* moduleInstance = nullptr;
}
void SetModuleInstance(void* instance) { moduleInstance = instance; }
void* ModuleInstance() { return moduleInstance; }
}  // namespace platform

namespace {

DWORD WINAPI WatchParent(void* parent) {
    ::WaitForSingleObject(static_cast<HANDLE>(parent), INFINITE);
    ::ExitProcess(0);
    return 0;
}

bool ReadMessage(HANDLE pipe, std::uint8_t* buffer, DWORD size, DWORD* got) {
    *got = 0;
    // A message longer than the buffer is drained and answered as one that does not decode.
    if (::ReadFile(pipe, buffer, size, got, nullptr)) return true;
    if (::GetLastError() != ERROR_MORE_DATA) return false;
    std::uint8_t rest[256];
    DWORD more = 0;
    while (!::ReadFile(pipe, rest, sizeof rest, &more, nullptr)) {
        if (::GetLastError() != ERROR_MORE_DATA) return false;
    }
    *got = 0;
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    platform::SetModuleInstance(instance);
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const char* name = commandLine;
    while (*name == ' ') ++name;
    if (std::strncmp(name, "\\\\.\\pipe\\", 9) != 0) return 2;

    HANDLE pipe = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 3;
    DWORD mode = PIPE_READMODE_MESSAGE;
    ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);

    std::uint32_t hello[3] = {};
    DWORD got = 0;
    if (!::ReadFile(pipe, hello, sizeof hello, &got, nullptr) || got != sizeof hello) return 4;
    const auto section = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(hello[0]));
    const std::size_t sectionSize = hello[1];
    const auto parent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(hello[2]));
    auto* view = static_cast<std::uint8_t*>(::MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sectionSize));
    if (view == nullptr) return 5;
    HANDLE watcher = ::CreateThread(nullptr, 64 * 1024, WatchParent, parent, 0, nullptr);
    if (watcher == nullptr) return 6;
    ::CloseHandle(watcher);

    DWORD written = 0;
    if (!::WriteFile(pipe, &kHelperReady, sizeof kHelperReady, &written, nullptr)) return 7;

    const ScannerLibrary& library = Scanner();
    // Tests: VOREL_HOST_DIE_AT_READ=n ends this process, as a kill would, on
    // its n-th scan-data read.
    char dieAt[16] = {};
    long readsLeft = ::GetEnvironmentVariableA("VOREL_HOST_DIE_AT_READ", dieAt, sizeof dieAt) > 0 ? std::atol(dieAt) : 0;
    std::uint8_t request[remote::kMaxMessage];
    while (ReadMessage(pipe, request, sizeof request, &got)) {
        if (readsLeft > 0 && got >= 2 && request[0] == remote::kReadScanData && request[1] == 0 && --readsLeft == 0) {
            ::TerminateProcess(::GetCurrentProcess(), 9);
        }
        const remote::Bytes reply = remote::Serve(library, request, got, view, sectionSize);
        if (!::WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr)) break;
    }
    // The source is gone or closed the pipe: the scanner is released as the
    // library's own unloading does.
    UnloadScannerLibrary();
    return 0;
}
