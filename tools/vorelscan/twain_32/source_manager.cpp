// A minimal TWAIN source manager for the acquisition tool and the tests.
// It knows one source: the file named by VOREL_SOURCE, else vorelsrc.ds in
// its own folder, else the Vorel source installed where the system's
// manager looks, in the twain_32 folder of the Windows folder. It opens and
// closes that source for one application, passes the application's
// triplets on, and takes the source's notifications: each is recorded, and
// queued so that the application's next MSG_PROCESSEVENT hands it over, as
// the TWAIN 1.x source managers do.
//
// Loaded under the TWAIN 2 manager's name, TWAINDSM.DLL, it is a TWAIN 2
// manager as well: it hands a TWAIN 2 source (DF_DS2) its entry points with
// DAT_ENTRYPOINT right after loading it, before every MSG_OPENDS, whatever
// the application; it marks a TWAIN 2 application's identity DF_DSM2 at
// MSG_OPENDSM and gives it the same entry points; and it calls back a
// TWAIN 2 application that registered a callback (DAT_CALLBACK) with the
// source's notifications instead of queueing them. A TWAIN 1.x application,
// and a TWAIN 2 one without a callback, get them through MSG_PROCESSEVENT.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "twain/twain.h"

namespace {

struct Notification {
    TW_UINT16 msg;
    TW_UINT32 originId;
    TW_UINT32 destinationId;
    char originProduct[34];
    bool dataWasNull;
};

struct Manager {
    bool open = false;
    HMODULE source = nullptr;
    DSENTRYPROC sourceEntry = nullptr;
    TW_IDENTITY sourceIdentity{};
    TW_UINT32 nextId = 1;
    TW_UINT16 conditionCode = TWCC_SUCCESS;
    std::vector<Notification> recorded;
    std::deque<TW_UINT16> pending;
    bool refuseNotifications = false;  // tests: answer the source as a manager that cannot deliver
    bool twain2 = false;               // loaded as TWAINDSM.DLL
    bool application2 = false;         // the application said DF_APP2 at MSG_OPENDSM
    TW_IDENTITY application{};
    DSMENTRYPROC callback = nullptr;   // registered with DAT_CALLBACK
    int callbacks = 0;                 // notifications delivered through it
};

Manager manager;
HMODULE thisModule = nullptr;

constexpr char kProductName[] = "Vorel Source";

bool FileExists(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The source the caller chose: the file VOREL_SOURCE names, else
// vorelsrc.ds beside this manager when it is there; empty otherwise.
std::string ChosenSourcePath() {
    char fromEnvironment[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableA("VOREL_SOURCE", fromEnvironment, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return fromEnvironment;
    char path[MAX_PATH] = {};
    DWORD pathLength = ::GetModuleFileNameA(thisModule, path, MAX_PATH);
    if (pathLength == 0 || pathLength >= MAX_PATH) return std::string();
    std::string folder(path);
    auto slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    std::string beside = folder + "vorelsrc.ds";
    return FileExists(beside) ? beside : std::string();
}

// The *.ds files of `folder` (ending in a separator), and when `depth`
// allows, those of its subfolders, in name order.
void CollectSourceFiles(const std::string& folder, int depth, std::vector<std::string>* files) {
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> here, subfolders;
    do {
        std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != "." && name != "..") subfolders.push_back(folder + name + "\\");
        } else if (name.size() > 3 && _stricmp(name.c_str() + name.size() - 3, ".ds") == 0) {
            here.push_back(folder + name);
        }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(here.begin(), here.end());
    std::sort(subfolders.begin(), subfolders.end());
    files->insert(files->end(), here.begin(), here.end());
    if (depth > 0) {
        for (const std::string& subfolder : subfolders) CollectSourceFiles(subfolder, depth - 1, files);
    }
}

// Whether the file's version resource names the Vorel source. Reading a
// resource runs none of the file's code.
bool ClaimsToBeVorelSource(const std::string& path) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<char> info(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, info.data())) return false;
    struct Translation {
        WORD language, codePage;
    };
    Translation* translations = nullptr;
    UINT translationBytes = 0;
    if (!::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                          &translationBytes)) {
        return false;
    }
    for (UINT i = 0; i < translationBytes / sizeof(Translation); ++i) {
        char key[64];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\ProductName", translations[i].language,
                      translations[i].codePage);
        char* value = nullptr;
        UINT valueLength = 0;
        if (::VerQueryValueA(info.data(), key, reinterpret_cast<void**>(&value), &valueLength) && value != nullptr &&
            std::string(value, strnlen(value, valueLength)) == kProductName) {
            return true;
        }
    }
    return false;
}

// The memory functions handed out with the entry points: movable global
// memory, so that an application that frees with GlobalFree is right too.
TW_HANDLE TW_CALLINGSTYLE MemAllocate(TW_UINT32 size) { return ::GlobalAlloc(GHND, size); }
void TW_CALLINGSTYLE MemFree(TW_HANDLE handle) { ::GlobalFree(handle); }
TW_MEMREF TW_CALLINGSTYLE MemLock(TW_HANDLE handle) { return ::GlobalLock(handle); }
void TW_CALLINGSTYLE MemUnlock(TW_HANDLE handle) { ::GlobalUnlock(handle); }

TW_ENTRYPOINT EntryPoints();

TW_UINT16 Fail(TW_UINT16 code) {
    manager.conditionCode = code;
    return TWRC_FAILURE;
}

bool LoadSourceFrom(const std::string& path) {
    manager.source = ::LoadLibraryA(path.c_str());
    if (manager.source == nullptr) return false;
    manager.sourceEntry = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(manager.source, "DS_Entry")));
    if (manager.sourceEntry == nullptr) {
        ::FreeLibrary(manager.source);
        manager.source = nullptr;
        return false;
    }
    return true;
}

void UnloadSource();

// The product name a loaded source reports, at most its 33 characters.
std::string LoadedProductName() {
    TW_IDENTITY identity{};
    if (manager.sourceEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity) != TWRC_SUCCESS) return std::string();
    return std::string(identity.ProductName, strnlen(identity.ProductName, sizeof identity.ProductName - 1));
}

// As the system's manager does: the sources in the twain_32 folder of the
// Windows folder (twain_64 for a 64-bit manager) and one level below it.
// The one reporting the Vorel source's product name is taken, or the only
// one there is. Files whose version resource names the product are tried
// first, so that with the Vorel source installed no other source is loaded
// to find it.
bool LoadInstalledSource() {
    char windows[MAX_PATH] = {};
    UINT length = ::GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::string folder(windows);
    if (folder.back() != '\\') folder += '\\';
    std::vector<std::string> files;
#if defined(_WIN64)
    CollectSourceFiles(folder + "twain_64\\", 1, &files);
#else
    CollectSourceFiles(folder + "twain_32\\", 1, &files);
#endif
    std::stable_partition(files.begin(), files.end(), ClaimsToBeVorelSource);
    for (const std::string& file : files) {
        if (!LoadSourceFrom(file)) continue;
        if (files.size() == 1 || LoadedProductName() == kProductName) return true;
        UnloadSource();
    }
    return false;
}

bool LoadSource() {
    if (manager.source != nullptr) return true;
    std::string chosen = ChosenSourcePath();
    return chosen.empty() ? LoadInstalledSource() : LoadSourceFrom(chosen);
}

void UnloadSource() {
    if (manager.source != nullptr) ::FreeLibrary(manager.source);
    manager.source = nullptr;
    manager.sourceEntry = nullptr;
}

// Triplets addressed to the manager itself.
TW_UINT16 ManagerTriplet(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (dg != DG_CONTROL) return Fail(TWCC_BADPROTOCOL);
    if (dat == DAT_PARENT) {
        if (msg == MSG_OPENDSM) {
            if (origin != nullptr && origin->Id == 0) origin->Id = manager.nextId++;
            manager.application2 = manager.twain2 && origin != nullptr && (origin->SupportedGroups & DF_APP2) != 0;
            if (manager.application2) origin->SupportedGroups |= DF_DSM2;
            if (origin != nullptr) manager.application = *origin;
            manager.open = true;
            return TWRC_SUCCESS;
        }
        if (msg == MSG_CLOSEDSM) {
            manager.open = false;
            return TWRC_SUCCESS;
        }
        return Fail(TWCC_BADPROTOCOL);
    }
    if (dat == DAT_STATUS && msg == MSG_GET && data != nullptr) {
        auto* status = static_cast<TW_STATUS*>(data);
        status->ConditionCode = manager.conditionCode;
        status->Reserved = 0;
        manager.conditionCode = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_ENTRYPOINT && msg == MSG_GET && manager.application2 && data != nullptr) {
        auto* entry = static_cast<TW_ENTRYPOINT*>(data);
        if (entry->Size < sizeof(TW_ENTRYPOINT)) return Fail(TWCC_BADVALUE);
        *entry = EntryPoints();
        return TWRC_SUCCESS;
    }
    if (dat != DAT_IDENTITY || data == nullptr) return Fail(TWCC_BADPROTOCOL);
    auto* identity = static_cast<TW_IDENTITY*>(data);
    switch (msg) {
        case MSG_GETFIRST:
        case MSG_GETDEFAULT:
        case MSG_USERSELECT: {
            if (!LoadSource()) return Fail(TWCC_NODS);
            TW_IDENTITY probe{};
            TW_UINT16 rc = manager.sourceEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &probe);
            if (rc != TWRC_SUCCESS) return Fail(TWCC_NODS);
            *identity = probe;
            return TWRC_SUCCESS;
        }
        case MSG_GETNEXT:
            return TWRC_ENDOFLIST;
        case MSG_OPENDS: {
            if (!manager.open) return Fail(TWCC_SEQERROR);
            if (!LoadSource()) return Fail(TWCC_NODS);
            if (identity->Id == 0) identity->Id = manager.nextId++;
            // The application names the source it wants; both it and the
            // source get the whole identity the source gives, as listed by
            // MSG_GETFIRST, with the Id this manager assigned.
            TW_IDENTITY probe{};
            if (manager.sourceEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &probe) != TWRC_SUCCESS) {
                return Fail(TWCC_NODS);
            }
            probe.Id = identity->Id;
            *identity = probe;
            if (manager.twain2) {
                // A TWAIN 2 source learns the entry points before it opens.
                if ((probe.SupportedGroups & DF_DS2) != 0) {
                    TW_ENTRYPOINT entry = EntryPoints();
                    TW_UINT16 given = manager.sourceEntry(origin, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry);
                    if (given != TWRC_SUCCESS) return Fail(TWCC_OPERATIONERROR);
                }
            }
            TW_UINT16 rc = manager.sourceEntry(origin, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, identity);
            if (rc == TWRC_SUCCESS) manager.sourceIdentity = *identity;
            return rc;
        }
        case MSG_CLOSEDS: {
            if (manager.sourceEntry == nullptr) return Fail(TWCC_SEQERROR);
            TW_UINT16 rc = manager.sourceEntry(origin, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, identity);
            manager.pending.clear();
            manager.callback = nullptr;
            if (rc == TWRC_SUCCESS) UnloadSource();
            return rc;
        }
        default:
            return Fail(TWCC_BADPROTOCOL);
    }
}

// A notification from the source to the application.
TW_UINT16 SourceNotification(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT16 msg, TW_MEMREF data) {
    if (manager.refuseNotifications) return Fail(TWCC_BADPROTOCOL);
    Notification note{};
    note.msg = msg;
    note.originId = origin ? origin->Id : 0;
    note.destinationId = destination ? destination->Id : 0;
    if (origin != nullptr) std::memcpy(note.originProduct, origin->ProductName, sizeof note.originProduct);
    note.dataWasNull = data == nullptr;
    manager.recorded.push_back(note);
    if (manager.callback != nullptr) {
        // The application's callback hears of it at once, and asks the
        // source itself from its own message loop.
        ++manager.callbacks;
        manager.callback(origin, &manager.application, DG_CONTROL, DAT_NULL, msg, nullptr);
        return TWRC_SUCCESS;
    }
    manager.pending.push_back(msg);
    // Wake the application's message loop so that it asks for events.
    ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
    return TWRC_SUCCESS;
}

// DAT_CALLBACK / MSG_REGISTER_CALLBACK from a TWAIN 2 application: the
// manager keeps it and answers for the source.
TW_UINT16 RegisterCallback(TW_MEMREF data) {
    if (!manager.application2 || data == nullptr) return Fail(TWCC_BADPROTOCOL);
    const auto* callback = static_cast<const TW_CALLBACK*>(data);
    if (callback->CallBackProc == nullptr) return Fail(TWCC_BADVALUE);
    manager.callback = reinterpret_cast<DSMENTRYPROC>(callback->CallBackProc);
    return TWRC_SUCCESS;
}

}  // namespace

extern "C" TW_UINT16 TW_CALLINGSTYLE DSM_Entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg,
                                               TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (destination == nullptr) return ManagerTriplet(origin, dg, dat, msg, data);
    if (dg == DG_CONTROL && dat == DAT_NULL) return SourceNotification(origin, destination, msg, data);
    if (manager.sourceEntry == nullptr) return Fail(TWCC_BADPROTOCOL);
    if (dg == DG_CONTROL && dat == DAT_IDENTITY && msg == MSG_CLOSEDS) return ManagerTriplet(origin, dg, dat, msg, destination);
    if (dg == DG_CONTROL && dat == DAT_CALLBACK && msg == MSG_REGISTER_CALLBACK) return RegisterCallback(data);
    TW_UINT16 rc = manager.sourceEntry(origin, dg, dat, msg, data);
    if (msg == MSG_PROCESSEVENT && data != nullptr && !manager.pending.empty()) {
        auto* event = static_cast<TW_EVENT*>(data);
        if (rc == TWRC_NOTDSEVENT || event->TWMessage == MSG_NULL) {
            event->TWMessage = manager.pending.front();
            manager.pending.pop_front();
            rc = TWRC_DSEVENT;
        }
    }
    return rc;
}

// For the tests: what the source sent.
extern "C" void __stdcall TestDsm_Reset() {
    manager.recorded.clear();
    manager.pending.clear();
}

extern "C" void __stdcall TestDsm_RefuseNotifications(int refuse) { manager.refuseNotifications = refuse != 0; }

extern "C" int __stdcall TestDsm_NotificationCount() { return static_cast<int>(manager.recorded.size()); }

// How many notifications went to an application's callback.
extern "C" int __stdcall TestDsm_CallbackCount() { return manager.callbacks; }

// Copies notification `index`: message, origin and destination Ids, the
// origin's product name (34 bytes) and whether data was null. 0 when there
// is no such notification.
extern "C" int __stdcall TestDsm_Notification(int index, TW_UINT16* msg, TW_UINT32* originId,
                                              TW_UINT32* destinationId, char* originProduct, int* dataWasNull) {
    if (index < 0 || index >= static_cast<int>(manager.recorded.size())) return 0;
    const Notification& note = manager.recorded[static_cast<std::size_t>(index)];
    if (msg) *msg = note.msg;
    if (originId) *originId = note.originId;
    if (destinationId) *destinationId = note.destinationId;
    if (originProduct) std::memcpy(originProduct, note.originProduct, sizeof note.originProduct);
    if (dataWasNull) *dataWasNull = note.dataWasNull ? 1 : 0;
    return 1;
}

namespace {
TW_ENTRYPOINT EntryPoints() {
    return TW_ENTRYPOINT{sizeof(TW_ENTRYPOINT), DSM_Entry, MemAllocate, MemFree, MemLock, MemUnlock};
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        // The copy named TWAINDSM.DLL is the TWAIN 2 manager.
        char path[MAX_PATH] = {};
        const DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
        const char* name = path;
        for (DWORD i = 0; i < length; ++i) {
            if (path[i] == '\\' || path[i] == '/') name = path + i + 1;
        }
        manager.twain2 = _stricmp(name, "TWAINDSM.DLL") == 0;
    }
    return TRUE;
}
