// Reads a converted database in either layout: opens and validates it, looks up IPv4 addresses
// and gives the ranges and texts in file order. Nothing in a file is trusted before validation;
// after a successful open every access stays inside the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/file_image.h"

enum DbStatus {
    DB_OK = 0,
    DB_CANT_OPEN,         // the file can't be opened
    DB_NOT_REGULAR,       // a folder, pipe or device: refused without reading
    DB_CANT_READ,         // reading it failed or fell short
    DB_TOO_LARGE,         // more bytes than this build can address
    DB_OUT_OF_MEMORY,     // no room for the file's bytes or the lookup index
    DB_TOO_SHORT,         // the file ends before the body header does
    DB_BAD_VERSION,       // format_version is not the layout's: 2 behind the magic, 1 without
    DB_TRUNCATED,         // the ranges and text offsets reach past the end of the file
    DB_DIGEST_MISMATCH,   // the body's MD5 digest is not the stored one
    DB_BAD_TEXT_OFFSET,   // a text offset lies outside the text area
    DB_UNTERMINATED_TEXT, // a text has no zero byte inside the text area
    DB_TRAILING_BYTES,    // bytes follow the end of the last text
    DB_BAD_TEXT_INDEX,    // a range's country or area index is not below text_count
};

// The first problem validation found, with the numbers its message needs.
struct DbError {
    DbStatus status;
    uint64_t item;  // range or text number (DB_BAD_TEXT_*, DB_UNTERMINATED_TEXT)
    uint64_t value; // the offending value: version, size, offset, index, byte count
    uint64_t limit; // the bound it broke: needed size, text area size, text_count
    bool area;      // DB_BAD_TEXT_INDEX: the area index is bad (otherwise the country index)
};

// One-line description of the problem, without the file name.
std::string db_error_message(const DbError& error);

// A range entry as stored: addresses as numbers (1.2.3.4 = 0x01020304), indexes into the texts.
struct DbRange {
    uint32_t start_ip;
    uint32_t end_ip;
    uint32_t country_index;
    uint32_t area_index;
};

// Where a sorted database's lookup finds the range whose start comes last at or below an address.
struct DbLookupSlot {
    uint32_t end_ip;
    uint32_t country_offset; // into the text area
    uint32_t area_offset;
    uint32_t entry; // range number in file order
};

struct NorvaneDb {
    FileImage image;               // holds the bytes when the database was opened from a file
    const uint8_t* data = nullptr; // the whole file
    size_t size = 0;

    int32_t format_version = 0; // 1 old layout (no magic), 2 new layout
    uint32_t range_count = 0;
    uint32_t text_count = 0;
    uint8_t digest[16] = {};
    const uint8_t* ranges = nullptr;       // range_count entries
    const uint8_t* text_offsets = nullptr; // text_count u32
    const char* texts = nullptr;           // the text area
    size_t texts_size = 0;

    // True when the ranges that cover anything (start <= end) ascend by start in file order and
    // do not overlap: then at most one range holds an address and the lookup is a binary search
    // over the index below. Otherwise it scans the ranges in file order.
    bool sorted = false;
    std::vector<uint32_t> starts;    // starts of the covering ranges, ascending (sorted only)
    std::vector<DbLookupSlot> slots; // one per element of starts
    std::vector<uint32_t> buckets;   // 65,537: first element of starts at or above (h << 16)
};

// Opens the file: reads it whole into memory (so that nothing another program does to the file
// later can reach the reader), validates it and builds the lookup index. On failure db is left
// empty and error says why. Everything the database holds is released when it is destroyed or
// opened again.
DbStatus db_open_file(const char* path, NorvaneDb* db, DbError* error);

// The same for bytes already in memory. They are not copied: they must outlive db.
DbStatus db_open_memory(const uint8_t* data, size_t size, NorvaneDb* db, DbError* error);

// Entry `index` (< range_count) in file order.
DbRange db_range(const NorvaneDb* db, uint32_t index);

// Text `index` (< text_count): zero-terminated bytes in the source's code page.
const char* db_text(const NorvaneDb* db, uint32_t index);

struct DbLocation {
    uint32_t entry; // range number in file order
    const char* country;
    const char* area;
};

// Finds the range holding address (first in file order); false when none covers it.
bool db_lookup(const NorvaneDb* db, uint32_t address, DbLocation* location);
