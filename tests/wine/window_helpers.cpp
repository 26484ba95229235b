// Window look-ups and a screen capture for the dialog tests.
#include "window_helpers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Search {
    HWND found = nullptr;
    int count = 0;
};

BOOL CALLBACK CountDialog(HWND hwnd, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    if (process != ::GetCurrentProcessId()) return TRUE;
    char caption[128] = {};
    ::GetWindowTextA(hwnd, caption, sizeof caption);
    if (std::strcmp(caption, "Vorel Scanner Source") == 0) {
        ++search->count;
        if (search->found == nullptr) search->found = hwnd;
    }
    return TRUE;
}

}  // namespace

HWND FindSourceDialog() {
    Search search;
    ::EnumWindows(CountDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int CountSourceDialogs() {
    Search search;
    ::EnumWindows(CountDialog, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

void ClickButton(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

RECT ControlRect(HWND dialog, int id) {
    RECT rect{};
    ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT DialogUnits(HWND dialog, int left, int top, int width, int height) {
    RECT rect{left, top, left + width, top + height};
    ::MapDialogRect(dialog, &rect);
    return rect;
}

std::string OutputFolder() {
    char folder[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("VOREL_TEST_OUTPUT", folder, MAX_PATH) == 0) std::strcpy(folder, ".");
    std::string path = folder;
    // A Unix path from the build: reach it through Wine's Z: drive.
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path + "\\";
}

bool CaptureWindow(HWND window, const std::string& path) {
    RECT rect{};
    if (!::GetWindowRect(window, &rect)) return false;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * height;
    bool ok = false;
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
             std::fwrite(bits, static_cast<std::size_t>(stride) * height, 1, out) == 1;
        std::fclose(out);
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}
