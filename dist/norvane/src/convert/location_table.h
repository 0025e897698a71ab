// LocationTable: every distinct location text once, in order of first appearance, with the
// position each text takes in the output's text area. Texts are not copied: the table keeps the
// pointers it is given.
#pragma once

#include <cstdint>

#include "common/memory.h"

constexpr int32_t kLocationCapacity = 1 << 24;

struct LocationEntry {
    const char* text;    // the pointer interned or appended first for this text; not owned
    uint32_t end_offset; // position just past the text's zero byte in the text area
    uint32_t length;     // bytes before the zero byte
    uint32_t hash;       // set when the entry is indexed
};

struct LocationSlot {
    uint32_t hash;
    uint32_t entry_plus_one;
};

struct LocationTable {
    MallocArray<LocationEntry> entries;
    int32_t location_count = 0; // entries in use
    int32_t entry_room = 0;     // entries allocated
    int32_t capacity = 0;       // most entries the table may ever hold
    // Hash index over the entries: open addressing; a slot holds an entry's hash and its index + 1
    // (0 = free), so that probing rarely touches the entries or their texts.
    MallocArray<LocationSlot> slots;
    uint32_t slot_mask = 0;
    int32_t indexed_count = 0; // entries in the hash index; append_location leaves them out
};

enum InternFailure {
    INTERN_TABLE_FULL = -1, // the text is new and the table holds `capacity` texts
    INTERN_OUT_OF_MEMORY = -2,
    INTERN_AREA_FULL =
        -3, // the text would take the text area to 4 GiB or more (its offsets are u32)
};

// Returns 0, or -1 when memory for the table can't be had.
int location_table_init(LocationTable* table, int32_t capacity = kLocationCapacity);

// Index of the entry holding the same bytes as text (null counts as the empty text), appending
// one if there is none; a negative InternFailure when a new text can't be added.
int32_t intern_location(LocationTable* table, const char* text);

// Appends text, of `length` bytes, without searching: the caller knows that the table holds no
// equal text (the merge's labels say so). Returns its index or a negative InternFailure.
int32_t append_location(LocationTable* table, const char* text, uint32_t length);

// Makes room for `count` entries in all, so that appending up to there never grows the table.
// Returns false when memory is short (the table stays as it is and still works).
bool reserve_locations(LocationTable* table, int32_t count);

// Start of text `index` in the output's text area. Valid for 0 <= index < location_count.
uint32_t location_offset(const LocationTable* table, int32_t index);
