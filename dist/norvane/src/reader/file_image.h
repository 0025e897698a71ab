// A whole file's bytes in memory, read-only: memory-mapped on POSIX systems, read whole
// elsewhere (and for files that can't be mapped, such as pipes). Releases them when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/whole_file.h"

struct MappingDeleter {
    size_t size = 0;
    void operator()(void* mapping) const;
};

struct FileImage {
    const uint8_t* data = nullptr; // null for an empty file
    size_t size = 0;
    std::unique_ptr<void, MappingDeleter> mapping; // holds data when it is a memory map
    WholeFile owned;                               // holds data when the file was read
};

enum FileImageStatus {
    FILE_IMAGE_OK = 0,
    FILE_IMAGE_CANT_OPEN,
    FILE_IMAGE_CANT_READ,
    FILE_IMAGE_TOO_LARGE,
    FILE_IMAGE_OUT_OF_MEMORY,
};

FileImageStatus file_image_load(const char* path, FileImage* image);
