// A minimal TWAIN source manager for the acquisition tool and the tests.
// It knows one source, vorelsrc.ds in its own folder (or the file named by
// VOREL_SOURCE), opens and closes it for one application, passes the
// application's triplets on, and takes the source's notifications: each is
// recorded, and queued so that the application's next MSG_PROCESSEVENT
// hands it over, as the TWAIN 1.x source managers do.
#include <windows.h>

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
};

Manager manager;
HMODULE thisModule = nullptr;

std::string SourcePath() {
    char fromEnvironment[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("VOREL_SOURCE", fromEnvironment, MAX_PATH) > 0) return fromEnvironment;
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(thisModule, path, MAX_PATH);
    std::string folder(path);
    auto slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    return folder + "vorelsrc.ds";
}

TW_UINT16 Fail(TW_UINT16 code) {
    manager.conditionCode = code;
    return TWRC_FAILURE;
}

bool LoadSource() {
    if (manager.source != nullptr) return true;
    manager.source = ::LoadLibraryA(SourcePath().c_str());
    if (manager.source == nullptr) return false;
    manager.sourceEntry = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(manager.source, "DS_Entry")));
    if (manager.sourceEntry == nullptr) {
        ::FreeLibrary(manager.source);
        manager.source = nullptr;
        return false;
    }
    return true;
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
            TW_UINT16 rc = manager.sourceEntry(origin, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, identity);
            if (rc == TWRC_SUCCESS) manager.sourceIdentity = *identity;
            return rc;
        }
        case MSG_CLOSEDS: {
            if (manager.sourceEntry == nullptr) return Fail(TWCC_SEQERROR);
            TW_UINT16 rc = manager.sourceEntry(origin, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, identity);
            manager.pending.clear();
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
    manager.pending.push_back(msg);
    // Wake the application's message loop so that it asks for events.
    ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
    return TWRC_SUCCESS;
}

}  // namespace

extern "C" TW_UINT16 TW_CALLINGSTYLE DSM_Entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg,
                                               TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (destination == nullptr) return ManagerTriplet(origin, dg, dat, msg, data);
    if (dg == DG_CONTROL && dat == DAT_NULL) return SourceNotification(origin, destination, msg, data);
    if (manager.sourceEntry == nullptr) return Fail(TWCC_BADPROTOCOL);
    if (dg == DG_CONTROL && dat == DAT_IDENTITY && msg == MSG_CLOSEDS) return ManagerTriplet(origin, dg, dat, msg, destination);
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

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) thisModule = instance;
    return TRUE;
}
