// vorelscan's saved set-ups end to end: --setup-only shows the source's
// window in the tool's process, where the test picks "BW Photo" and presses
// OK; the file it saves makes a later --setup scan grey (the very image a
// grey scan asked for on the command line gives), and a damaged copy is
// refused without a scan.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "window_helpers.h"

namespace {

std::string ToolPath() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1) + "vorelscan.exe";
}

// The tool with `arguments`, its output to `log`; its process handle.
HANDLE StartTool(const std::string& arguments, const std::string& log, DWORD* id) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = out;
    start.hStdError = out;
    PROCESS_INFORMATION process{};
    std::string line = "\"" + ToolPath() + "\" " + arguments;
    const BOOL started =
        ::CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process);
    ::CloseHandle(out);
    if (!started) return nullptr;
    ::CloseHandle(process.hThread);
    *id = process.dwProcessId;
    return process.hProcess;
}

// The exit code of a tool that ends within a minute, else -1 (and ended).
int Finish(HANDLE process) {
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) ::TerminateProcess(process, 99);
    ::GetExitCodeProcess(process, &code);
    ::CloseHandle(process);
    return static_cast<int>(code);
}

int RunTool(const std::string& arguments, const std::string& log) {
    DWORD id = 0;
    HANDLE process = StartTool(arguments, log, &id);
    return process == nullptr ? -1 : Finish(process);
}

struct Found {
    DWORD process;
    HWND dialog;
};

BOOL CALLBACK FindToolDialog(HWND window, LPARAM parameter) {
    auto* found = reinterpret_cast<Found*>(parameter);
    DWORD process = 0;
    char caption[64] = {};
    ::GetWindowThreadProcessId(window, &process);
    if (process == found->process && ::IsWindowVisible(window) &&
        ::GetWindowTextA(window, caption, sizeof caption) > 0 && std::string(caption) == "Vorel Scanner Source") {
        found->dialog = window;
        return FALSE;
    }
    return TRUE;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int BitsPerPixel(const std::string& bmp) {
    const std::string bytes = Read(bmp);
    return bytes.size() > 30 ? static_cast<unsigned char>(bytes[28]) : 0;
}

}  // namespace

TEST(SetupFile, SavedInTheWindowAndTakenByALaterScan) {
    const std::string folder = OutputFolder();
    const std::string saved = folder + "saved.set", damaged = folder + "damaged.set";
    ::DeleteFileA(saved.c_str());
    DWORD id = 0;
    HANDLE tool = StartTool("--setup-only \"" + saved + "\" --type color", folder + "setup-only.log", &id);
    ASSERT_NE(tool, nullptr);
    Found found{id, nullptr};
    for (int tries = 0; tries < 3000 && found.dialog == nullptr; ++tries) {
        ::EnumWindows(FindToolDialog, reinterpret_cast<LPARAM>(&found));
        if (found.dialog == nullptr) ::Sleep(10);
    }
    ASSERT_NE(found.dialog, nullptr) << Read(folder + "setup-only.log");
    HWND list = ::GetDlgItem(found.dialog, 1002);
    ASSERT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 3);
    ::SendMessageA(list, CB_SETCURSEL, 1, 0);  // "BW Photo"
    ::SendMessageA(found.dialog, WM_COMMAND, MAKEWPARAM(1002, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    ::SendMessageA(::GetDlgItem(found.dialog, 1001), BM_CLICK, 0, 0);  // OK
    ASSERT_EQ(Finish(tool), 0) << Read(folder + "setup-only.log");
    EXPECT_NE(Read(folder + "setup-only.log").find("saved the set-up to "), std::string::npos);

    const std::string block = Read(saved);
    ASSERT_FALSE(block.empty());
    const std::string grey = folder + "from-setup.bmp";
    ASSERT_EQ(RunTool("--setup \"" + saved + "\" --dpi 50 --out \"" + grey + "\"", folder + "setup.log"), 0)
        << Read(folder + "setup.log");
    EXPECT_EQ(BitsPerPixel(grey), 8) << "the grey picked in the window";
    const std::string direct = folder + "direct-grey.bmp";
    ASSERT_EQ(RunTool("--type gray --dpi 50 --out \"" + direct + "\"", folder + "direct.log"), 0);
    EXPECT_TRUE(Read(grey) == Read(direct)) << "the same pixels as a grey scan asked for on the command line";

    // One byte changed: refused, nothing scanned.
    std::string changed = block;
    changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 0x40);
    std::ofstream(damaged, std::ios::binary) << changed;
    const std::string none = folder + "from-damaged.bmp";
    ::DeleteFileA(none.c_str());
    EXPECT_EQ(RunTool("--setup \"" + damaged + "\" --out \"" + none + "\"", folder + "damaged.log"), 1);
    EXPECT_NE(Read(folder + "damaged.log").find("the source refused the set-up"), std::string::npos)
        << Read(folder + "damaged.log");
    EXPECT_EQ(::GetFileAttributesA(none.c_str()), INVALID_FILE_ATTRIBUTES);
}
