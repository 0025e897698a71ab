// Loads a source database in the qqwry.dat layout and resolves every index entry into a
// RangeRecord whose texts are positions in the loaded image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/memory.h"

// The program's one zero-length text that is not inside a source image: used for an absent area
// text and for a null text.
extern const char empty_text[1];

// A text is named by where it starts in the source image; this position names empty_text.
constexpr uint32_t kEmptyTextAt = 0xFFFFFFFFu;

// The text at position `at` of image (kEmptyTextAt: empty_text).
inline const char* source_text(const uint8_t* image, uint32_t at) {
    return at == kEmptyTextAt ? empty_text : reinterpret_cast<const char*>(image + at);
}

// One range, 16 bytes: the passes over half a million of them move half as many bytes as with
// text pointers beside the indexes.
struct RangeRecord {
    uint32_t start_ip; // first address of the range, as a number (1.2.3.4 = 0x01020304)
    uint32_t end_ip;   // last address, inclusive, same form
    // The range's country and area texts. The reader stores where each starts in the source
    // image (kEmptyTextAt for empty_text; source_text gives the text, whose zero byte lies inside
    // the image); label_texts puts labels in their place, and the merge the LocationTable
    // indexes of the kept records.
    uint32_t country;
    uint32_t area;
};

struct SourceDatabase {
    MallocArray<uint8_t> image;       // SourceImage: the whole file; every text position is into it
    int32_t source_size = 0;          // bytes in image
    MallocArray<RangeRecord> records; // one per index entry, in index order
    int32_t record_count = 0;
    // Records the block has room for: more than record_count where memory allowed, so that the
    // output's body, laid out over them later, rarely needs a larger block (room not written to
    // takes no memory).
    size_t record_room = 0;
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

// Frees the image; every text taken from it becomes invalid.
void release_source_image(SourceDatabase* db);
