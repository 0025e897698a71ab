// Ownership of malloc'd blocks: unique_ptr with free() as its deleter, so that every early
// return releases them. Allocation returns null on failure; callers report it as a status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef __linux__
#include <sys/mman.h>
#endif

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T> using MallocPtr = std::unique_ptr<T, FreeDeleter>;
template <typename T> using MallocArray = std::unique_ptr<T[], FreeDeleter>;

// Large blocks are backed by huge pages where the system offers them: a block of many
// megabytes is otherwise first touched one 4 KiB page fault at a time, which costs far more than
// filling it. Such a block is aligned to 2 MiB and rounded up to whole huge pages so that all of
// it can be advised; it is still an ordinary malloc block that free() releases.
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kHugeBlockMin = kHugePage / 2;

inline void* allocate_block(size_t size) {
#ifdef __linux__
    if (size >= kHugeBlockMin && size <= SIZE_MAX - kHugePage) {
        size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
        void* block = std::aligned_alloc(kHugePage, rounded);
        if (block != nullptr)
            madvise(block, rounded, MADV_HUGEPAGE);
        return block;
    }
#endif
    return std::malloc(size > 0 ? size : 1);
}

// Asks for the cache line at p ahead of its use, for loops whose reads land in no order: the
// misses of several iterations then overlap. A hint only: p may be any address. Inlined before
// anything else: GCC otherwise finds a function that only prefetches free of effects and drops
// the calls to it.
#if defined(__GNUC__) || defined(__clang__)
#define NORVANE_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define NORVANE_ALWAYS_INLINE inline
#endif

NORVANE_ALWAYS_INLINE void prefetch_read(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#else
    (void)p;
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
    return MallocArray<T>(static_cast<T*>(allocate_block(count * sizeof(T))));
}

// Zeroed room for count elements; null when memory is short.
template <typename T> MallocArray<T> calloc_array(size_t count) {
    if (!array_fits<T>(count))
        return nullptr;
    size_t size = count * sizeof(T);
    if (size < kHugeBlockMin)
        return MallocArray<T>(static_cast<T*>(std::calloc(count > 0 ? count : 1, sizeof(T))));
    void* block = allocate_block(size);
    if (block != nullptr)
        std::memset(block, 0, size);
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
