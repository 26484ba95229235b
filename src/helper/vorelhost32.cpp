// vorelhost32.exe: the 32-bit process in which the 64-bit source's scanner
// library runs. It loads VOREL32.dll as the 32-bit source does (beside
// itself first), connects to the pipe its command line names, maps the
// section its first message hands over and then answers the calls put in
// the section's mailbox until the pipe closes, sleeping in a read of the
// pipe between calls; a stream request reads on into the section's ring,
// sleeping on one event while the ring is full. The source is woken with
// the other event. It has no window and ends with the process
// that started it: the job the source put it in is killed with that
// process, a broken pipe ends the loop, and a wait for room in the ring
// also ends when that process does. (No thread of its own watches the
// process: under Wine a thread alone costs a megabyte of resident memory.)
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

// Tests: VOREL_HOST_DIE_AT_READ=n ends this process, as a kill would, at
// its n-th library read.
const ScannerLibrary* library = nullptr;
long readsLeft = 0;
std::int16_t VOREL_API CountedRead(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got) {
    if (readsLeft > 0 && --readsLeft == 0) ::TerminateProcess(::GetCurrentProcess(), 9);
    return library->ReadScanData(mode, buffer, count, got);
}

void WakeSource(void* event) { ::SetEvent(static_cast<HANDLE>(event)); }

// Sleeps until the source frees room in the ring or stops the stream;
// false when the source has gone (its process ended or it closed the pipe).
bool AwaitRoom(HANDLE room, HANDLE parent, HANDLE pipe) {
    const HANDLE waits[2] = {room, parent};
    for (;;) {
        const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, 250);
        if (woke == WAIT_OBJECT_0) return true;
        DWORD waiting = 0;
        if (woke != WAIT_TIMEOUT || !::PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) return false;
    }
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

    // The library is loaded while the source is still making its window.
    const ScannerLibrary& loaded = Scanner();
    HANDLE pipe = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 3;
    DWORD mode = PIPE_READMODE_MESSAGE;
    ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);

    std::uint32_t hello[5] = {};
    DWORD got = 0;
    if (!::ReadFile(pipe, hello, sizeof hello, &got, nullptr) || got != sizeof hello) return 4;
    auto handle = [](std::uint32_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); };
    const HANDLE section = handle(hello[0]);
    const std::size_t sectionSize = hello[1];
    const HANDLE parent = handle(hello[2]);
    const HANDLE dataReady = handle(hello[3]);
    const HANDLE room = handle(hello[4]);
    auto* view = static_cast<std::uint8_t*>(::MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sectionSize));
    if (view == nullptr) return 5;

    DWORD written = 0;
    if (!::WriteFile(pipe, &kHelperReady, sizeof kHelperReady, &written, nullptr)) return 7;
    // The next call usually follows at once, and in a stream the source
    // frees room in moments: each is looked for a while before sleeping,
    // when there is a processor to spare for that.
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    const remote::Spin spin{system.dwNumberOfProcessors > 1 ? 300 : 0};

    ScannerLibrary table = loaded;
    library = &loaded;
    char dieAt[16] = {};
    readsLeft = ::GetEnvironmentVariableA("VOREL_HOST_DIE_AT_READ", dieAt, sizeof dieAt) > 0 ? std::atol(dieAt) : 0;
    if (readsLeft > 0) table.ReadScanData = CountedRead;
    std::uint8_t wake[remote::kMaxMessage];
    remote::CallDesk desk(view);
    // Any message wakes the helper; a closed pipe means the source has gone.
    auto sleep = [&] { return ReadMessage(pipe, wake, sizeof wake, &got); };
    remote::StreamHost stream;
    bool sourceThere = true;
    while (sourceThere && desk.Await(spin, sleep)) {
        const remote::Bytes request = desk.Take();
        remote::Request q;
        remote::Bytes reply;
        if (request.size() >= 2 && request[0] == remote::kStreamScanData && request[1] == 0 &&
            remote::DecodeRequest(request.data(), request.size(), &q) && stream.Begin(q, view, sectionSize)) {
            while (stream.Fill(table, WakeSource, dataReady, spin) == remote::StreamHost::Step::NeedRoom) {
                sourceThere = AwaitRoom(room, parent, pipe);
                if (!sourceThere) break;
            }
            reply = stream.FinalReply();
        } else {
            reply = remote::Serve(table, request.data(), request.size(), view, sectionSize);
        }
        if (desk.Answer(reply)) ::SetEvent(dataReady);
    }
    // The source is gone or closed the pipe: the scanner is released as the
    // library's own unloading does.
    UnloadScannerLibrary();
    return 0;
}
