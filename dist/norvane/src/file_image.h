// A whole file's bytes in memory, read-only: memory-mapped on POSIX systems, read whole
// elsewhere (and for files that can't be mapped, such as pipes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Starts empty, so that releasing an image that was never loaded does nothing.
struct FileImage {
    const uint8_t* data = nullptr; // null for an empty file
    size_t size = 0;
    void* mapping = nullptr; // non-null when data is a memory map
    size_t mapping_size = 0;
    std::vector<uint8_t> owned; // holds data when the file was read
};

enum FileImageStatus {
    FILE_IMAGE_OK = 0,
    FILE_IMAGE_CANT_OPEN,
    FILE_IMAGE_CANT_READ,
    FILE_IMAGE_TOO_LARGE,
    FILE_IMAGE_OUT_OF_MEMORY,
};

FileImageStatus file_image_load(const char* path, FileImage* image);
void file_image_release(FileImage* image);
