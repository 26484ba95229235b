// The scanner command library table. VOREL32.dll is loaded by its full path
// only, from the first of three folders that holds it: the source's own, the
// system folder, the Windows folder (where a scanner maker's installer puts
// it). It is never searched for, so no VOREL32.dll in the application's
// folder or the working folder can take its place. Its twelve functions are found by ordinal the first time the table is
// needed. When the library or any of the twelve is missing, the whole table
// is made of stand-ins that fail the way a scanner that cannot be opened
// does: OpenScanner answers a failure that is not "no communication", so the
// user sees the open-failure box and the device stays offline, and the other
// entries write nothing but zeros into the results they are handed.
#include "device/scanner_library.h"

#include <string>

#include "platform/library.h"

#include "device/remote_scanner.h"
#if defined(_WIN64)
#include "device/helper_channel.h"
#endif

namespace {

constexpr const char* kLibraryName = "VOREL32.dll";
// Any non-zero status other than -10 (no communication) means "cannot open".
constexpr std::int16_t kStandInOpenFailure = -1;
constexpr std::int16_t kStandInFailure = 1;

std::int16_t VOREL_API StandInOpenScanner(std::uint16_t, std::int16_t) { return kStandInOpenFailure; }
std::int16_t VOREL_API StandInDownloadBlock(std::int16_t, void*) { return kStandInFailure; }
std::int16_t VOREL_API StandInGetScanGeometry(ScanGeometry* geometry) {
    if (geometry != nullptr) *geometry = ScanGeometry{};
    return kStandInFailure;
}
std::int16_t VOREL_API StandInResetScanner() { return kStandInFailure; }
std::int16_t VOREL_API StandInReadScanData(std::int16_t, void*, std::int32_t, std::int32_t* got) {
    if (got != nullptr) *got = 0;
    return kStandInFailure;
}
std::int16_t VOREL_API StandInSetScanResolution(std::int16_t, std::int16_t) { return kStandInFailure; }
std::int16_t VOREL_API StandInSetScaling(std::int16_t, std::int16_t) { return kStandInFailure; }
std::int16_t VOREL_API StandInSetScanWindow(std::uint16_t*, std::int16_t) { return kStandInFailure; }
std::int16_t VOREL_API StandInUploadBlock(std::int16_t, void*, std::int16_t, std::int16_t* length) {
    if (length != nullptr) *length = 0;
    return kStandInFailure;
}
std::int16_t VOREL_API StandInInquireParameter(std::int16_t, std::int16_t, std::int16_t* value) {
    if (value != nullptr) *value = 0;
    return kStandInFailure;
}
std::int16_t VOREL_API StandInGetCommandError() { return kStandInFailure; }
std::int16_t VOREL_API StandInSetParameter(std::int16_t, std::int16_t) { return kStandInFailure; }

constexpr ScannerLibrary kStandIns = {
    StandInOpenScanner,       StandInDownloadBlock,   StandInGetScanGeometry, StandInResetScanner,
    StandInReadScanData,      StandInSetScanResolution, StandInSetScaling,    StandInSetScanWindow,
    StandInUploadBlock,       StandInInquireParameter, StandInGetCommandError, StandInSetParameter,
};

struct LoadedLibrary {
    bool attempted = false;
    platform::LibraryHandle handle = nullptr;
    ScannerLibrary table = kStandIns;
};

LoadedLibrary& Loaded() {
    static LoadedLibrary loaded;
    return loaded;
}

const ScannerLibrary* testingLibrary = nullptr;

// Looks one ordinal up and stores it in `entry`; false when it is missing.
template <typename Function>
bool FindEntry(platform::LibraryHandle library, unsigned ordinal, Function& entry) {
    void* address = platform::FindFunctionByOrdinal(library, ordinal);
    if (address == nullptr) return false;
    entry = reinterpret_cast<Function>(address);
    return true;
}

#if defined(_WIN64)
// A 64-bit process cannot load the 32-bit library: its twelve calls go to a
// helper process, started when the scanner is first opened.
remote::RemoteScanner& Helper() {
    static remote::RemoteScanner helper(StartHelperChannel);
    return helper;
}
#endif

void Load(LoadedLibrary& loaded) {
    loaded.attempted = true;
    loaded.table = kStandIns;
#if defined(_WIN64)
    remote::SetRemoteScanner(&Helper());
    loaded.table = remote::RemoteTable();
    return;
#endif

    platform::LibraryHandle library = nullptr;
    for (const std::string& folder : {platform::ModuleFolder(), platform::SystemFolder(), platform::WindowsFolder()}) {
        if (!folder.empty()) library = platform::LoadLibraryByName((folder + kLibraryName).c_str());
        if (library != nullptr) break;
    }
    if (library == nullptr) return;

    ScannerLibrary table{};
    const bool complete = FindEntry(library, 2, table.OpenScanner) && FindEntry(library, 9, table.DownloadBlock) &&
                          FindEntry(library, 10, table.GetScanGeometry) && FindEntry(library, 13, table.ResetScanner) &&
                          FindEntry(library, 14, table.ReadScanData) &&
                          FindEntry(library, 17, table.SetScanResolution) && FindEntry(library, 18, table.SetScaling) &&
                          FindEntry(library, 20, table.SetScanWindow) && FindEntry(library, 22, table.UploadBlock) &&
                          FindEntry(library, 26, table.InquireParameter) &&
                          FindEntry(library, 27, table.GetCommandError) && FindEntry(library, 30, table.SetParameter);
    if (!complete) {
        // A library without all twelve is not one the source can drive.
        platform::FreeLibraryHandle(library);
        return;
    }
    loaded.handle = library;
    loaded.table = table;
}

}  // namespace

const ScannerLibrary& Scanner() {
    if (testingLibrary != nullptr) return *testingLibrary;
    LoadedLibrary& loaded = Loaded();
    if (!loaded.attempted) Load(loaded);
    return loaded.table;
}

void PrepareScanner() {
#if defined(_WIN64)
    if (testingLibrary != nullptr) return;
    Scanner();
    Helper().Prepare();
#endif
}

void SetScannerLibraryForTesting(const ScannerLibrary* library) { testingLibrary = library; }

bool ScannerLibraryInUse() { return testingLibrary != nullptr || Loaded().attempted; }

bool ScannerConnectionLost() { return remote::CurrentScannerLost(); }

void UnloadScannerLibrary() {
    LoadedLibrary& loaded = Loaded();
#if defined(_WIN64)
    if (loaded.attempted) Helper().End();
#endif
    if (loaded.handle != nullptr) platform::FreeLibraryHandle(loaded.handle);
    loaded = LoadedLibrary{};
}
