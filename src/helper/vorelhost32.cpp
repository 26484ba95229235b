// vorelhost32.exe: the 32-bit process in which the 64-bit source's scanner
// library runs. It connects to the pipe its command line names, loads
// VOREL32.dll as the 32-bit source does (beside itself first), checks the
// first message (the hello) was made by a source of its own build, maps the
// section it hands over and then answers the calls put in
// the section's mailbox until the pipe closes, sleeping in a read of the
// pipe between calls; a stream request reads on into the section's ring,
// sleeping on one event while the ring is full. The source is woken with
// the other event. It has no window and ends with the process
// that started it: the job the source put it in is killed with that
// process, a broken pipe ends the loop, and a wait for room in the ring
// also ends when that process does. (No thread of its own watches the
// process: under Wine a thread alone costs a megabyte of resident memory.)
//
// Built with VOREL_HOST_TESTING it is the tests' helper, vorelhost32_test.exe,
// which also plays the faults the tests need (the TestFaults functions
// below); the shipped helper has none of them.
#include <windows.h>

#include <cstdint>
#include <cstdio>
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

#if defined(VOREL_HOST_TESTING)
// The faults of the tests' helper, read from its environment:
//   VOREL_HOST_DIE_AT_READ=n      ends the process, as a kill would, at its n-th library read
//   VOREL_HOST_HANG_AT_START=1    never connects (a start that hangs)
//   VOREL_HOST_LOAD_DELAY_MS=n    takes n ms longer to load the library (a slow maker's library)
//   VOREL_HOST_ANSWER_VERSION=n   answers the hello with version n (a helper of another build)
//   VOREL_HOST_IMPOSTOR=1         a process it starts connects to the pipe instead, and could
//                                 serve the source (it takes the hello's handles from this one)
//   VOREL_HOST_START_LOG=path     appends a line to the file at every start
long TestNumber(const char* name) {
    char text[32] = {};
    const DWORD length = ::GetEnvironmentVariableA(name, text, sizeof text);
    return length > 0 && length < sizeof text ? std::strtol(text, nullptr, 0) : 0;
}

const ScannerLibrary* library = nullptr;
long readsLeft = 0;
std::int16_t VOREL_API CountedRead(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got) {
    if (readsLeft > 0 && --readsLeft == 0) ::TerminateProcess(::GetCurrentProcess(), 9);
    return library->ReadScanData(mode, buffer, count, got);
}

// Before connecting; a process that is not to serve the source never returns.
void TestFaultsAtStart() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA("VOREL_HOST_START_LOG", path, sizeof path);
    if (length > 0 && length < sizeof path) {
        HANDLE log = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(log, "start\r\n", 7, &written, nullptr);
            ::CloseHandle(log);
        }
    }
    if (TestNumber("VOREL_HOST_HANG_AT_START") != 0) {
        for (;;) ::Sleep(1000);
    }
    if (TestNumber("VOREL_HOST_IMPOSTOR") != 0) {
        // Another process, started with the same command line, connects; this
        // one, the process the source started, waits to be ended.
        ::SetEnvironmentVariableA("VOREL_HOST_IMPOSTOR", nullptr);
        ::SetEnvironmentVariableA("VOREL_HOST_START_LOG", nullptr);
        char parent[16] = {};
        std::snprintf(parent, sizeof parent, "%lu", static_cast<unsigned long>(::GetCurrentProcessId()));
        ::SetEnvironmentVariableA("VOREL_HOST_HANDLES_OF", parent);
        char self[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, self, sizeof self);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessA(self, ::GetCommandLineA(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info)) {
            ::CloseHandle(info.hThread);
            ::CloseHandle(info.hProcess);
        }
        for (;;) ::Sleep(1000);
    }
}

// The impostor takes the handles the hello names from the process the
// source started, whose handle table they belong to, so that it could
// serve the source as well as the helper.
void TestFaultsAtHello(std::uint32_t* hello) {
    const DWORD owner = static_cast<DWORD>(TestNumber("VOREL_HOST_HANDLES_OF"));
    if (owner == 0) return;
    HANDLE process = ::OpenProcess(PROCESS_DUP_HANDLE, FALSE, owner);
    if (process == nullptr) return;
    for (int word : {1, 3, 4, 5}) {
        HANDLE mine = nullptr;
        if (::DuplicateHandle(process, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(hello[word])),
                              ::GetCurrentProcess(), &mine, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            hello[word] = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(mine));
        }
    }
    ::CloseHandle(process);
}

void TestFaultsAtLoad() {
    if (const long delay = TestNumber("VOREL_HOST_LOAD_DELAY_MS")) ::Sleep(static_cast<DWORD>(delay));
}

std::uint32_t AnsweredVersion() {
    const long version = TestNumber("VOREL_HOST_ANSWER_VERSION");
    return version != 0 ? static_cast<std::uint32_t>(version) : kHelperProtocol;
}

void TestFaultsAtServing(ScannerLibrary& table, const ScannerLibrary& loaded) {
    library = &loaded;
    readsLeft = TestNumber("VOREL_HOST_DIE_AT_READ");
    if (readsLeft > 0) table.ReadScanData = CountedRead;
}
#else
void TestFaultsAtStart() {}
void TestFaultsAtHello(std::uint32_t*) {}
void TestFaultsAtLoad() {}
std::uint32_t AnsweredVersion() { return kHelperProtocol; }
void TestFaultsAtServing(ScannerLibrary&, const ScannerLibrary&) {}
#endif

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

    TestFaultsAtStart();
    // Connected first: the source then knows this process runs, however long
    // the maker's library takes to load.
    HANDLE pipe = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 3;
    DWORD mode = PIPE_READMODE_MESSAGE;
    ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);

    // The library is loaded while the source is still making its window.
    TestFaultsAtLoad();
    const ScannerLibrary& loaded = Scanner();

    // A hello of another length or version is a source of another build,
    // whose messages and section this process would misread.
    std::uint32_t hello[kHelloWords + 1] = {};
    DWORD got = 0;
    if (!::ReadFile(pipe, hello, sizeof hello, &got, nullptr) || got != kHelloWords * sizeof hello[0] ||
        hello[0] != kHelperProtocol) {
        return 4;
    }
    TestFaultsAtHello(hello);
    auto handle = [](std::uint32_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); };
    const HANDLE section = handle(hello[1]);
    const std::size_t sectionSize = hello[2];
    const HANDLE parent = handle(hello[3]);
    const HANDLE dataReady = handle(hello[4]);
    const HANDLE room = handle(hello[5]);
    auto* view = static_cast<std::uint8_t*>(::MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sectionSize));
    if (view == nullptr) return 5;

    DWORD written = 0;
    const std::uint32_t answer[kAnswerWords] = {kHelperReady, AnsweredVersion()};
    if (!::WriteFile(pipe, answer, sizeof answer, &written, nullptr)) return 7;
    // The next call usually follows at once, and in a stream the source
    // frees room in moments: each is looked for a while before sleeping,
    // when there is a processor to spare for that.
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    const remote::Spin spin{system.dwNumberOfProcessors > 1 ? 300 : 0};

    ScannerLibrary table = loaded;
    TestFaultsAtServing(table, loaded);
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
