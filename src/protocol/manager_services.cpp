// DAT_ENTRYPOINT and the services it brings: the kept TW_ENTRYPOINT and the
// blocks made for the application through it.
#include "protocol/manager_services.h"

#include <cstdint>

#include "platform/pointer_check.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

namespace {

TW_ENTRYPOINT manager{};
bool haveManager = false;

bool LeadsToCode(const void* function) { return function != nullptr && platform::IsExecutable(function); }

}  // namespace

bool KeepManagerEntryPoints(const TW_ENTRYPOINT* entry) {
    if (!platform::IsReadable(entry, sizeof(TW_UINT32))) return false;
    if (entry->Size < sizeof(TW_ENTRYPOINT) || !platform::IsReadable(entry, sizeof(TW_ENTRYPOINT))) return false;
    const TW_ENTRYPOINT copy = *entry;
    if (!LeadsToCode(reinterpret_cast<const void*>(copy.DSM_Entry)) ||
        !LeadsToCode(reinterpret_cast<const void*>(copy.DSM_MemAllocate)) ||
        !LeadsToCode(reinterpret_cast<const void*>(copy.DSM_MemFree)) ||
        !LeadsToCode(reinterpret_cast<const void*>(copy.DSM_MemLock)) ||
        !LeadsToCode(reinterpret_cast<const void*>(copy.DSM_MemUnlock))) {
        return false;
    }
    manager = copy;
    haveManager = true;
    return true;
}

void ForgetManagerEntryPoints() {
    manager = TW_ENTRYPOINT{};
    haveManager = false;
}

DSMENTRYPROC ManagerDsmEntry() { return haveManager ? manager.DSM_Entry : nullptr; }

namespace application_memory {

platform::GlobalHandle Allocate(std::size_t bytes) {
    if (!haveManager) return platform::GlobalAllocate(platform::kGmemShareable, bytes);
    if (bytes > UINT32_MAX) return nullptr;
    return manager.DSM_MemAllocate(static_cast<TW_UINT32>(bytes));
}

void* Lock(platform::GlobalHandle handle) {
    if (!haveManager) return platform::GlobalLockBlock(handle);
    return handle != nullptr ? manager.DSM_MemLock(handle) : nullptr;
}

void Unlock(platform::GlobalHandle handle) {
    if (!haveManager) return platform::GlobalUnlockBlock(handle);
    if (handle != nullptr) manager.DSM_MemUnlock(handle);
}

void Free(platform::GlobalHandle handle) {
    if (!haveManager) return platform::GlobalFreeBlock(handle);
    if (handle != nullptr) manager.DSM_MemFree(handle);
}

}  // namespace application_memory

// DG_CONTROL / DAT_ENTRYPOINT: a TWAIN 2 manager sends MSG_SET right after
// loading the source, before MSG_OPENDS; the source also takes it while
// open and not yet enabled.
TW_UINT16 EntryPointHandler(const TripletRequest* request) noexcept {
    if (request->msg != MSG_SET) return Refuse(TWCC_BADPROTOCOL);
    if (sourceState != 300 && sourceState != 400) return Refuse(TWCC_SEQERROR);
    if (!KeepManagerEntryPoints(static_cast<const TW_ENTRYPOINT*>(request->data))) return Refuse(TWCC_BADVALUE);
    return TWRC_SUCCESS;
}
