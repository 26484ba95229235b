// Global memory blocks for the native build: a table of handles, each naming
// a heap block with its size and lock count. A handle the table does not
// know (never allocated, or freed) locks to null and has size 0, as a bad
// handle has on Windows.
#include "platform/global_memory.h"

#include "platform/fault_injection.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct Block {
    void* data;
    std::size_t size;
    int locks;
};

struct BlockTable {
    std::mutex mutex;
    std::unordered_map<GlobalHandle, Block> blocks;
    std::uintptr_t nextHandle = 0x10000;
    long outstanding = 0;
    int allocationsLeft = -1;
};

BlockTable& Table() {
    static BlockTable* table = new BlockTable;  // outlives every static user
    return *table;
}

}  // namespace

GlobalHandle GlobalAllocate(unsigned flags, std::size_t bytes) {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> guard(table.mutex);
    if (table.allocationsLeft == 0) return nullptr;
    if (table.allocationsLeft > 0) --table.allocationsLeft;
    if (AllocationFaults().Hit()) return nullptr;
    // Windows hands out a block even for 0 bytes; keep one byte behind it.
    void* data = std::malloc(bytes == 0 ? 1 : bytes);
    if (data == nullptr) return nullptr;
    if (flags & kGmemZeroInit) {
        std::memset(data, 0, bytes);
    } else {
        // Unzeroed blocks hold garbage on Windows; make it visible here too.
        std::memset(data, 0xCD, bytes);
    }
    table.nextHandle += 16;
    GlobalHandle handle = reinterpret_cast<GlobalHandle>(table.nextHandle);
    try {
        table.blocks[handle] = Block{data, bytes, 0};
    } catch (...) {
        // The table's own bookkeeping ran out of memory: no block, as
        // GlobalAlloc answers when the heap is full; never an exception.
        std::free(data);
        return nullptr;
    }
    ++table.outstanding;
    return handle;
}

void* GlobalLockBlock(GlobalHandle handle) {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> guard(table.mutex);
    auto it = table.blocks.find(handle);
    if (it == table.blocks.end()) return nullptr;
    ++it->second.locks;
    return it->second.data;
}

void GlobalUnlockBlock(GlobalHandle handle) {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> guard(table.mutex);
    auto it = table.blocks.find(handle);
    if (it != table.blocks.end() && it->second.locks > 0) --it->second.locks;
}

void GlobalFreeBlock(GlobalHandle handle) {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> guard(table.mutex);
    auto it = table.blocks.find(handle);
    if (it == table.blocks.end()) return;
    std::free(it->second.data);
    table.blocks.erase(it);
    --table.outstanding;
}

std::size_t GlobalBlockSize(GlobalHandle handle) {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> guard(table.mutex);
    auto it = table.blocks.find(handle);
    return it == table.blocks.end() ? 0 : it->second.size;
}

long GlobalBlocksOutstanding() {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> guard(table.mutex);
    return table.outstanding;
}

void FailGlobalAllocationsAfter(int count) {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> guard(table.mutex);
    table.allocationsLeft = count < 0 ? -1 : count;
}

}  // namespace platform
