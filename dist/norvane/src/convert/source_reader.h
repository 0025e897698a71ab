// Loads a source database in the qqwry.dat layout and resolves every index entry into a
// RangeRecord whose texts point into the loaded image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/memory.h"

// The program's one zero-length text that is not inside a source image: used for an absent area
// text and for a null text.
extern const char empty_text[1];

struct RangeRecord {
    uint32_t start_ip;        // first address of the range, as a number (1.2.3.4 = 0x01020304)
    uint32_t end_ip;          // last address, inclusive, same form
    int32_t country_index;    // LocationTable index, set by the merge
    int32_t area_index;       // LocationTable index, set by the merge
    const char* country_text; // into the source image, never null
    const char* area_text;    // into the source image or empty_text, never null
};

struct SourceDatabase {
    MallocArray<uint8_t> image; // SourceImage: the whole file; every text pointer points into it
    int32_t source_size = 0;    // bytes in image
    MallocArray<RangeRecord> records; // one per index entry, in index order
    int32_t record_count = 0;
};

enum LoadStatus {
    LOAD_OK = 0,
    LOAD_CANT_OPEN,     // the file can't be opened
    LOAD_NOT_REGULAR,   // a folder, pipe, device or socket: refused without reading
    LOAD_CANT_READ,     // reading fell short or failed
    LOAD_TOO_LARGE,     // 2 GiB or more
    LOAD_OUT_OF_MEMORY, // the image or the record array could not be allocated
    LOAD_BAD_HEADER,    // shorter than the header, or index positions out of order or range
    LOAD_BAD_RECORD,    // a record, redirect or text reaches past the end of the file
};

// Reads the file at path whole and builds the records. On failure db is left empty.
LoadStatus load_source_database(const char* path, SourceDatabase* db);

// Same as load_source_database, from bytes already in memory (copied into a new image).
LoadStatus load_source_from_memory(const uint8_t* data, size_t size, SourceDatabase* db);

// Frees the image; every text pointer into it becomes invalid.
void release_source_image(SourceDatabase* db);
