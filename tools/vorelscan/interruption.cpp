// The control handler and the tool's part files, shared by the main thread
// and the control thread under one lock.
#include "interruption.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace interruption {
namespace {

// How long the main thread has to stop by itself: the source serves its
// progress window at least every few tens of milliseconds while it reads.
constexpr DWORD kGraceMs = 700;
constexpr DWORD kLookEveryMs = 10;

struct State {
    State() {
        ::InitializeCriticalSection(&lock);
        finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    CRITICAL_SECTION lock;
    HANDLE finished;
    DWORD mainThread = 0;
    volatile LONG requested = 0;
    std::vector<std::wstring> parts;
    std::wstring watched;                    // the folder of a file transfer under way
    std::vector<std::wstring> sourceBefore;  // the source's part files there before it
};

// The source's part files in `folder` (ending in a separator).
std::vector<std::wstring> SourceParts(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"~vorel-transfer*.part").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

// The source keeps the part file of the transfer it is writing open, so it
// can only go once this process has: a hidden command tries every second
// for ten seconds. Only files that appeared during the transfer.
void RemoveSourcePartsLater(const State& state) {
    if (state.watched.empty()) return;
    std::wstring body;
    for (const std::wstring& name : SourceParts(state.watched)) {
        bool before = false;
        for (const std::wstring& old : state.sourceBefore) before = before || old == name;
        if (before) continue;
        const std::wstring path = L"\"" + state.watched + name + L"\"";
        body += std::wstring(body.empty() ? L"" : L" & ") + L"(if exist " + path +
                L" (ping -n 2 127.0.0.1 >nul & del /f /q " + path + L" 2>nul))";
    }
    if (body.empty()) return;
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(system) + L"\\cmd.exe\" /d /c for /l %i in (1,1,10) do (" + body + L")";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                         nullptr, &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

State& Shared() {
    static State state;
    return state;
}

// Presses Cancel in every progress window of the source on the main thread.
BOOL CALLBACK PressCancel(HWND window, LPARAM) {
    char className[32] = {};
    if (::GetClassNameA(window, className, sizeof className) > 0 &&
        std::strcmp(className, "VorelSourceProgress") == 0) {
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return TRUE;
}

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    State& state = Shared();
    if (::InterlockedExchange(&state.requested, 1) != 0) return TRUE;  // one stop is enough
    // A message loop waiting for the source (its dialog, a box) ends.
    ::PostThreadMessageW(state.mainThread, WM_QUIT, 0, 0);
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kGraceMs) {
        ::EnumThreadWindows(state.mainThread, PressCancel, 0);
        if (::WaitForSingleObject(state.finished, kLookEveryMs) == WAIT_OBJECT_0) return TRUE;
    }
    // The main thread is still inside the source: end here, leaving the
    // user's file alone and none of the tool's part files. A file still
    // open is deleted as its handle closes with the process.
    ::EnterCriticalSection(&state.lock);
    for (const std::wstring& part : state.parts) ::DeleteFileW(part.c_str());
    RemoveSourcePartsLater(state);
    std::fputs("vorelscan: interrupted; the image under way was not written\n", stderr);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), kExitCode);
    return TRUE;  // not reached
}

}  // namespace

void Install() {
    State& state = Shared();
    state.mainThread = ::GetCurrentThreadId();
    ::SetConsoleCtrlHandler(OnControl, TRUE);
}

bool Requested() { return Shared().requested != 0; }

void Finished() { ::SetEvent(Shared().finished); }

void AddPart(const std::wstring& name) {
    State& state = Shared();
    ::EnterCriticalSection(&state.lock);
    try {
        state.parts.push_back(name);
    } catch (...) {
        ::LeaveCriticalSection(&state.lock);
        throw;
    }
    ::LeaveCriticalSection(&state.lock);
}

void RemovePart(const std::wstring& name) {
    State& state = Shared();
    ::EnterCriticalSection(&state.lock);
    for (std::size_t i = 0; i < state.parts.size(); ++i) {
        if (state.parts[i] == name) {
            state.parts.erase(state.parts.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    ::LeaveCriticalSection(&state.lock);
}

void WatchSourceParts(const std::wstring& folder) {
    State& state = Shared();
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/' && base.back() != L':') base += L'\\';
    std::vector<std::wstring> before = SourceParts(base);
    ::EnterCriticalSection(&state.lock);
    state.watched.swap(base);
    state.sourceBefore.swap(before);
    ::LeaveCriticalSection(&state.lock);
}

void UnwatchSourceParts() {
    State& state = Shared();
    ::EnterCriticalSection(&state.lock);
    state.watched.clear();
    state.sourceBefore.clear();
    ::LeaveCriticalSection(&state.lock);
}

bool UnlessInterrupted(bool (*move)(void* context), void* context) {
    State& state = Shared();
    ::EnterCriticalSection(&state.lock);
    const bool go = state.requested == 0;
    const bool moved = go && move(context);
    ::LeaveCriticalSection(&state.lock);
    return moved;
}

}  // namespace interruption
