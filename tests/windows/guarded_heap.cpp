// Replaces the program's operator new and delete. Each block starts with a
// 16-byte header that says where it came from, so a block is freed the right
// way whenever it was made.
#include "guarded_heap.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <windows.h>

namespace {

constexpr size_t kHeaderBytes = 16;
constexpr size_t kGuarded = 0x6A7D0001;
constexpr size_t kPlain = 0x6A7D0002;

std::atomic<int> g_guardDepth{0};

struct Header {
    size_t kind;
    size_t totalBytes;
};
static_assert(sizeof(Header) == kHeaderBytes, "the header keeps blocks 16-byte aligned");

void* Allocate(size_t size) {
    const size_t total = size + kHeaderBytes;
    Header* header;
    if (g_guardDepth.load() > 0) {
        header = static_cast<Header*>(VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (header != nullptr) header->kind = kGuarded;
    } else {
        header = static_cast<Header*>(std::malloc(total));
        if (header != nullptr) header->kind = kPlain;
    }
    if (header == nullptr) return nullptr;
    header->totalBytes = total;
    return reinterpret_cast<char*>(header) + kHeaderBytes;
}

void Free(void* block) {
    if (block == nullptr) return;
    Header* const header = reinterpret_cast<Header*>(static_cast<char*>(block) - kHeaderBytes);
    if (header->kind == kGuarded)
        VirtualFree(header, header->totalBytes, MEM_DECOMMIT);  // stays reserved: never handed out again
    else
        std::free(header);
}

void* AllocateOrThrow(size_t size) {
    if (void* block = Allocate(size)) return block;
    throw std::bad_alloc();
}

}  // namespace

CGuardedHeap::CGuardedHeap() { g_guardDepth.fetch_add(1); }
CGuardedHeap::~CGuardedHeap() { g_guardDepth.fetch_sub(1); }

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, size_t) noexcept { Free(block); }
void operator delete[](void* block, size_t) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Free(block); }
