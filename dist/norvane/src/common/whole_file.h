// Reads a whole file into one block: the one loader of both programs (the converter's source,
// the reader's database). Only regular files: pipes, devices and folders are refused at once,
// and no more is read than the file's size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/memory.h"

struct WholeFile {
    MallocArray<uint8_t> bytes; // never null after a successful load, even for an empty file
    size_t size = 0;
};

enum WholeFileStatus {
    WHOLE_FILE_OK = 0,
    WHOLE_FILE_CANT_OPEN,     // the file can't be opened
    WHOLE_FILE_NOT_REGULAR,   // a folder, pipe, device or socket
    WHOLE_FILE_CANT_READ,     // reading failed or fell short
    WHOLE_FILE_TOO_LARGE,     // more than max_size bytes
    WHOLE_FILE_OUT_OF_MEMORY, // no block for the bytes
};

// Reads the file at path; files larger than max_size bytes are refused before anything is
// allocated. On failure file is left empty.
WholeFileStatus load_whole_file(const char* path, uint64_t max_size, WholeFile* file);
