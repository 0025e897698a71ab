// Ownership of malloc'd blocks: unique_ptr with free() as its deleter, so that every early
// return releases them. Allocation returns null on failure; callers report it as a status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#ifdef __linux__
#include <sys/mman.h>
#endif

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T> using MallocPtr = std::unique_ptr<T, FreeDeleter>;
template <typename T> using MallocArray = std::unique_ptr<T[], FreeDeleter>;

// Asks for large blocks to be backed by huge pages: a block of many megabytes is otherwise
// first touched one 4 KiB page fault at a time, which costs more than filling it. Only the
// 2 MiB-aligned middle of the block is advised; elsewhere this is a no-op.
inline void advise_huge_pages(void* block, size_t size) {
#ifdef __linux__
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (block == nullptr || size < 2 * kHuge)
        return;
    uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

// True when count elements of T fit in size_t bytes (on a 32-bit build count * sizeof(T)
// would otherwise wrap to a small block).
template <typename T> constexpr bool array_fits(size_t count) {
    return count <= SIZE_MAX / sizeof(T);
}

// Uninitialised room for count elements (at least one byte); null when memory is short or the
// size can't be represented.
template <typename T> MallocArray<T> malloc_array(size_t count) {
    if (!array_fits<T>(count))
        return nullptr;
    size_t size = count > 0 ? count * sizeof(T) : 1;
    void* block = std::malloc(size);
    advise_huge_pages(block, size);
    return MallocArray<T>(static_cast<T*>(block));
}

// Zeroed room for count elements; null when memory is short.
template <typename T> MallocArray<T> calloc_array(size_t count) {
    void* block = std::calloc(count > 0 ? count : 1, sizeof(T));
    advise_huge_pages(block, count * sizeof(T));
    return MallocArray<T>(static_cast<T*>(block));
}

// Resizes the block to count elements, keeping its contents; false (block unchanged) when
// memory is short or the size can't be represented.
template <typename T> bool realloc_array(MallocArray<T>* block, size_t count) {
    if (!array_fits<T>(count))
        return false;
    void* grown = std::realloc(block->get(), count > 0 ? count * sizeof(T) : 1);
    if (grown == nullptr)
        return false;
    block->release();
    block->reset(static_cast<T*>(grown));
    return true;
}
