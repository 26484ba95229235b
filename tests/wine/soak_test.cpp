// The source run for long in one process through the real DLL: open,
// enable (with and without the dialog), transfer (native, memory, BMP,
// TIFF in turn), end, close, over and over. The process's GDI and USER
// objects, its handles and its private memory must stay flat after the
// first cycles, and no window of the source may outlive its opening.
// VOREL_SOAK_CYCLES sets the number of cycles (50 unless set).
#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "source_harness.h"
#include "window_helpers.h"

namespace {

struct Resources {
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
    int windows = 0;  // top-level windows of the process
};

BOOL CALLBACK CountWindow(HWND hwnd, LPARAM count) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    if (process == ::GetCurrentProcessId()) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Wine answers 0 for the counts Windows keeps (GetGuiResources,
// GetProcessHandleCount, PrivateUsage). There the objects are counted by
// asking every handle value whether it names one: GDI and USER handles are
// found by their low 16 bits, kernel handles are multiples of 4.
DWORD ProbeGdiObjects() {
    DWORD count = 0;
    for (UINT_PTR value = 1; value < 0x10000; ++value) count += ::GetObjectType(reinterpret_cast<HGDIOBJ>(value)) != 0;
    return count;
}
DWORD ProbeUserObjects() {
    DWORD count = 0;
    for (UINT_PTR value = 1; value < 0x10000; ++value) {
        HWND window = reinterpret_cast<HWND>(value);
        DWORD process = 0;
        if (::IsWindow(window) && ::GetWindowThreadProcessId(window, &process) && process == ::GetCurrentProcessId()) {
            ++count;
        } else if (::IsMenu(reinterpret_cast<HMENU>(value))) {
            ++count;
        }
    }
    return count;
}
DWORD ProbeKernelHandles() {
    DWORD count = 0;
    DWORD flags = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        count += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    }
    return count;
}
// Committed private pages: what PrivateUsage counts.
SIZE_T ProbePrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

Resources Measure() {
    Resources r;
    HANDLE self = ::GetCurrentProcess();
    r.gdi = ::GetGuiResources(self, GR_GDIOBJECTS);
    if (r.gdi == 0) r.gdi = ProbeGdiObjects();
    r.user = ::GetGuiResources(self, GR_USEROBJECTS);
    if (r.user == 0) r.user = ProbeUserObjects();
    if (!::GetProcessHandleCount(self, &r.handles) || r.handles == 0) r.handles = ProbeKernelHandles();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        r.privateBytes = memory.PrivateUsage;
    }
    if (r.privateBytes == 0) r.privateBytes = ProbePrivateBytes();
    ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&r.windows));
    return r;
}

void Print(int cycle, const Resources& r, const char* when = "closed") {
    std::printf("soak cycle %5d (%s): GDI objects %4lu, USER objects %4lu, handles %4lu, private %7lu KiB, "
                "windows %d\n",
                cycle, when, r.gdi, r.user, r.handles, static_cast<unsigned long>(r.privateBytes / 1024), r.windows);
    std::fflush(stdout);
}

int Cycles() {
    char text[16] = {};
    if (::GetEnvironmentVariableA("VOREL_SOAK_CYCLES", text, sizeof text) == 0) return 50;
    const int cycles = std::atoi(text);
    return cycles > 10 ? cycles : 11;
}

TW_UINT16 SetUint16(SourceHarness& harness, TW_UINT16 cap, TW_UINT16 value) {
    return harness.SetOneValue(cap, TWTY_UINT16, value);
}

enum Mechanism { kNative, kMemory, kBmp, kTiff };

// One transfer by the mechanism; the bytes delivered, 0 when it failed.
size_t Transfer(SourceHarness& harness, Mechanism mechanism, const std::string& folder) {
    switch (mechanism) {
        case kNative: {
            TW_HANDLE block = nullptr;  // the source writes a whole handle here
            if (harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &block) != TWRC_XFERDONE) return 0;
            const size_t size = ::GlobalSize(block);
            ::GlobalFree(block);
            return size;
        }
        case kMemory: {
            TW_SETUPMEMXFER setup{};
            if (harness.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) return 0;
            HGLOBAL buffer = ::GlobalAlloc(GHND, setup.Preferred);
            size_t total = 0;
            for (int strip = 0; strip < 1000; ++strip) {
                TW_IMAGEMEMXFER xfer{};
                xfer.Memory = {TWMF_APPOWNS | TWMF_HANDLE, setup.Preferred, buffer};
                const TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
                if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) {
                    total = 0;
                    break;
                }
                total += xfer.BytesWritten;
                if (rc == TWRC_XFERDONE) break;
            }
            ::GlobalFree(buffer);
            return total;
        }
        case kBmp:
        case kTiff: {
            TW_SETUPFILEXFER setup{};
            const std::string name = folder + (mechanism == kBmp ? "soak.bmp" : "soak.tif");
            std::snprintf(setup.FileName, sizeof setup.FileName, "%s", name.c_str());
            setup.Format = mechanism == kBmp ? TWFF_BMP : TWFF_TIFF;
            if (harness.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) != TWRC_SUCCESS) return 0;
            if (harness.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr) != TWRC_XFERDONE) return 0;
            WIN32_FILE_ATTRIBUTE_DATA attributes{};
            if (!::GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &attributes)) return 0;
            return attributes.nFileSizeLow;
        }
    }
    return 0;
}

// One whole cycle; false (with a failure recorded) when a step went wrong.
bool Cycle(SourceHarness& harness, int cycle, const std::string& folder) {
    const bool showUI = cycle % 2 == 1;
    const auto mechanism = static_cast<Mechanism>((cycle / 2) % 4);
    ClearNotifications();
    EXPECT_EQ(harness.Open(), TWRC_SUCCESS) << "cycle " << cycle << " MSG_OPENDS";
    if (::testing::Test::HasFailure()) return false;
    // A small image: 75 dpi, one inch by one inch, in grey.
    EXPECT_EQ(SetUint16(harness, ICAP_PIXELTYPE, TWPT_GRAY), TWRC_SUCCESS);
    EXPECT_EQ(SetUint16(harness, ICAP_BITDEPTH, 8), TWRC_SUCCESS);
    EXPECT_EQ(SetUint16(harness, ICAP_XRESOLUTION, 75), TWRC_SUCCESS);
    EXPECT_EQ(SetUint16(harness, ICAP_YRESOLUTION, 75), TWRC_SUCCESS);
    EXPECT_EQ(SetUint16(harness, ICAP_UNITS, TWUN_INCHES), TWRC_SUCCESS);
    TW_IMAGELAYOUT layout{};
    layout.Frame = {{1, 0}, {1, 0}, {2, 0}, {2, 0}};
    EXPECT_EQ(harness.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS) << "cycle " << cycle;

    EXPECT_EQ(harness.Enable(showUI), TWRC_SUCCESS) << "cycle " << cycle << " MSG_ENABLEDS ShowUI " << showUI;
    PumpMessages();
    if (showUI) {
        HWND dialog = FindSourceDialog();
        EXPECT_NE(dialog, nullptr) << "cycle " << cycle << ": the dialog is shown";
        // What the counts look like while the source has its dialog, so the
        // flat figures after closing are seen to count the source's objects.
        if (cycle == 1) Print(cycle, Measure(), "dialog shown");
        if (dialog != nullptr) ClickButton(dialog, 1001);  // "Final Scan"
        PumpMessages();
    }
    int ready = 0;
    for (const RecordedNotification& note : Notifications()) ready += note.msg == MSG_XFERREADY;
    EXPECT_EQ(ready, 1) << "cycle " << cycle << ": MSG_XFERREADY";

    TW_IMAGEINFO info{};
    EXPECT_EQ(harness.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS) << "cycle " << cycle;
    EXPECT_EQ(info.ImageWidth, 75) << "cycle " << cycle;
    EXPECT_GT(Transfer(harness, mechanism, folder), 75u * 75u) << "cycle " << cycle << " mechanism " << mechanism;

    TW_PENDINGXFERS pending{};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS) << "cycle " << cycle;
    EXPECT_EQ(harness.Disable(), TWRC_SUCCESS) << "cycle " << cycle;
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS) << "cycle " << cycle;
    PumpMessages();
    EXPECT_EQ(CountSourceDialogs(), 0) << "cycle " << cycle << ": the dialog outlived its opening";
    return !::testing::Test::HasFailure();
}

TEST(Soak, ResourcesStayFlatOverManyCycles) {
    SourceHarness harness;
    ASSERT_TRUE(harness.Loaded());
    const std::string folder = OutputFolder();
    const int cycles = Cycles();
    constexpr int kSettled = 10;

    Resources settled{};
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        if (!Cycle(harness, cycle, folder)) {
            ADD_FAILURE() << "soak stopped at cycle " << cycle;
            return;
        }
        if (cycle == 1 || cycle == kSettled || cycle == cycles || cycle % 100 == 0) Print(cycle, Measure());
        if (cycle == kSettled) settled = Measure();
    }
    const Resources last = Measure();
    EXPECT_LE(last.gdi, settled.gdi) << "GDI objects grew after cycle " << kSettled;
    EXPECT_LE(last.user, settled.user) << "USER objects grew after cycle " << kSettled;
    EXPECT_LE(last.handles, settled.handles) << "handles grew after cycle " << kSettled;
    EXPECT_LE(last.windows, settled.windows) << "windows grew after cycle " << kSettled;
    // The heap may round its growth up to whole pages now and then; a leak
    // of even a small block per cycle would pass this in a few hundred.
    EXPECT_LE(last.privateBytes, settled.privateBytes + 256 * 1024) << "private memory grew after cycle " << kSettled;
}

}  // namespace
