// Ownership of malloc'd blocks: unique_ptr with free() as its deleter, so that every early
// return releases them. Allocation returns null on failure; callers report it as a status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T> using MallocPtr = std::unique_ptr<T, FreeDeleter>;
template <typename T> using MallocArray = std::unique_ptr<T[], FreeDeleter>;

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
    return MallocArray<T>(static_cast<T*>(std::malloc(count > 0 ? count * sizeof(T) : 1)));
}

// Zeroed room for count elements; null when memory is short.
template <typename T> MallocArray<T> calloc_array(size_t count) {
    return MallocArray<T>(static_cast<T*>(std::calloc(count > 0 ? count : 1, sizeof(T))));
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
