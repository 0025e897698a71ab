// A database file's bytes, read whole into memory when it is opened: later changes to the file
// (truncated, rewritten in place) can't reach a reader that has it open.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/whole_file.h"

struct FileImage {
    const uint8_t* data = nullptr;
    size_t size = 0;
    WholeFile owned; // holds the bytes
};

enum FileImageStatus {
    FILE_IMAGE_OK = 0,
    FILE_IMAGE_CANT_OPEN,
    FILE_IMAGE_NOT_REGULAR, // a folder, pipe or device
    FILE_IMAGE_CANT_READ,
    FILE_IMAGE_TOO_LARGE,
    FILE_IMAGE_OUT_OF_MEMORY,
};

FileImageStatus file_image_load(const char* path, FileImage* image);
