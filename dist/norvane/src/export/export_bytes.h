// A finished export in memory, ready to replace its output file in one piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/memory.h"

struct ExportBytes {
    MallocArray<uint8_t> data;
    size_t size = 0;
};

enum ExportStatus {
    EXPORT_OK = 0,
    EXPORT_NO_MEMORY,
    EXPORT_TOO_LARGE, // the format's offsets can't reach that far
};
