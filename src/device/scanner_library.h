// The scanner maker's command library VOREL32.dll as a table of its twelve
// functions, called by ordinal. Every function uses the Windows API calling
// convention. The table is filled at run time; when the library or one of
// its entries is missing, every entry is replaced by one that fails like a
// scanner that cannot be opened, so the source still loads and runs.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define VOREL_API __stdcall
#else
#define VOREL_API
#endif

// The record GetScanGeometry fills (16 bytes).
#pragma pack(push, 2)
struct ScanGeometry {
    std::uint8_t unused0[4];
    std::int16_t pixelsPerLine;
    std::int16_t bytesPerLine;
    std::int16_t lines;
    std::uint8_t unused1[2];
    std::int32_t totalBytes;
};
#pragma pack(pop)
static_assert(sizeof(ScanGeometry) == 16, "ScanGeometry");

struct ScannerLibrary {
    std::int16_t(VOREL_API* OpenScanner)(std::uint16_t window, std::int16_t flag);                         // 2
    std::int16_t(VOREL_API* DownloadBlock)(std::int16_t type, void* buffer);                               // 9
    std::int16_t(VOREL_API* GetScanGeometry)(ScanGeometry* geometry);                                      // 10
    std::int16_t(VOREL_API* ResetScanner)();                                                               // 13
    std::int16_t(VOREL_API* ReadScanData)(std::int16_t mode, void* buffer, std::int32_t count,
                                          std::int32_t* got);                                              // 14
    std::int16_t(VOREL_API* SetScanResolution)(std::int16_t x, std::int16_t y);                            // 17
    std::int16_t(VOREL_API* SetScaling)(std::int16_t x, std::int16_t y);                                   // 18
    std::int16_t(VOREL_API* SetScanWindow)(std::uint16_t* window, std::int16_t zero);                      // 20
    std::int16_t(VOREL_API* UploadBlock)(std::int16_t type, void* buffer, std::int16_t maxLength,
                                         std::int16_t* length);                                            // 22
    std::int16_t(VOREL_API* InquireParameter)(std::int16_t code, std::int16_t form, std::int16_t* value);  // 26
    std::int16_t(VOREL_API* GetCommandError)();                                                            // 27
    std::int16_t(VOREL_API* SetParameter)(std::int16_t code, std::int16_t value);                          // 30
};

// The table in use: loaded on first use (the module's own folder first);
// in a 64-bit process, the calls of the 32-bit library run in a helper.
const ScannerLibrary& Scanner();
// The scanner is about to be opened: a library in a helper process starts
// the helper now, so that its start overlaps the work before the opening
// (the library loaded in process has nothing to do).
void PrepareScanner();
// Native tests install a scripted table; null restores the loaded one.
void SetScannerLibraryForTesting(const ScannerLibrary* library);
// Releases the loaded library (module unload).
void UnloadScannerLibrary();
// True once the table is in use (loaded, or a test table installed): lets
// code that runs at unload time talk to the scanner without loading the
// library for it.
bool ScannerLibraryInUse();
// True when the library lives in a helper process that has stopped
// answering: the scan under way delivers nothing more.
bool ScannerConnectionLost();
