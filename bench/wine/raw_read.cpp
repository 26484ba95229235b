// The scanner command library called by ordinal, as the source calls it.
#include "raw_read.h"

#include <cmath>
#include <utility>

namespace {

template <typename Function>
bool Entry(HMODULE module, int ordinal, Function* function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(
        ::GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)))));
    return *function != nullptr;
}

}  // namespace

RawScanner::~RawScanner() {
    if (module_ == nullptr) return;
    if (!shared_) library_.OpenScanner(0x100, 0);
    ::FreeLibrary(module_);
}

bool RawScanner::Load(bool shared) {
    shared_ = shared;
    module_ = ::LoadLibraryA("VOREL32.dll");
    if (module_ == nullptr) return error_ = "VOREL32.dll not found", false;
    ScannerLibrary& l = library_;
    const bool all = Entry(module_, 2, &l.OpenScanner) && Entry(module_, 9, &l.DownloadBlock) &&
                     Entry(module_, 10, &l.GetScanGeometry) && Entry(module_, 13, &l.ResetScanner) &&
                     Entry(module_, 14, &l.ReadScanData) && Entry(module_, 17, &l.SetScanResolution) &&
                     Entry(module_, 18, &l.SetScaling) && Entry(module_, 20, &l.SetScanWindow) &&
                     Entry(module_, 22, &l.UploadBlock) && Entry(module_, 26, &l.InquireParameter) &&
                     Entry(module_, 27, &l.GetCommandError) && Entry(module_, 30, &l.SetParameter);
    if (!all) return error_ = "VOREL32.dll lacks an ordinal", false;
    if (l.OpenScanner(0x100, 1) != 0) return error_ = "the scanner cannot be opened", false;
    return true;
}

bool RawScanner::SetUp(const PageSpec& page, bool blueFirst) {
    const ScannerLibrary& l = library_;
    l.ResetScanner();
    l.SetParameter(25, 5);  // colour
    l.SetParameter(1, 0);
    l.SetParameter(36, 7);
    if (blueFirst) {
        std::uint8_t matrix[9] = {};
        std::int16_t length = 0;
        l.UploadBlock(2, matrix, 9, &length);
        for (int row = 0; row < 3; ++row) std::swap(matrix[3 * row], matrix[3 * row + 2]);
        l.DownloadBlock(2, matrix);
    }
    // A gamma curve like the source's, so the scanner maps levels as it
    // does for the source.
    std::uint8_t tones[256];
    for (int i = 0; i < 256; ++i) {
        const double v = 255 * std::pow(i / 255.0, 1 / 2.2);
        tones[255 - i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
    }
    l.DownloadBlock(1, tones);
    l.SetParameter(28, -1);
    l.SetParameter(22, 0);
    l.SetScaling(100, 100);
    l.SetScanResolution(static_cast<std::int16_t>(page.dpi), static_cast<std::int16_t>(page.dpi));
    std::uint16_t window[5] = {static_cast<std::uint16_t>(page.dpi), static_cast<std::uint16_t>(page.left),
                               static_cast<std::uint16_t>(page.top), static_cast<std::uint16_t>(page.right - page.left),
                               static_cast<std::uint16_t>(page.bottom - page.top)};
    l.SetScanWindow(window, 0);
    if (l.GetScanGeometry(&geometry_) != 0 || geometry_.totalBytes <= 0)
        return error_ = "the scanner reports no geometry", false;
    return true;
}

bool RawScanner::ReadAll(void* buffer, double* seconds) {
    std::int32_t got = 0;
    const double start = Seconds();
    library_.ReadScanData(2, buffer, geometry_.totalBytes, &got);
    *seconds = Seconds() - start;
    if (got != geometry_.totalBytes) return error_ = "the scanner delivered " + std::to_string(got) + " bytes", false;
    return true;
}
