// The module's entry into Windows: the application object is initialised
// when the source manager loads the library and cleaned up when it unloads
// it. At process exit nothing is torn down: the windows and libraries go
// with the process.
#include <windows.h>

#include "device/scanner_library.h"
#include "module/source_app.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            ::DisableThreadLibraryCalls(instance);
            theApp.InitInstance(instance);
            break;
        case DLL_PROCESS_DETACH:
            if (reserved == nullptr) {
                theApp.ExitInstance();
                UnloadScannerLibrary();
            }
            break;
        default:
            break;
    }
    return TRUE;
}
