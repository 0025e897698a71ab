#include "convert/location_table.h"

#include <cstring>
#include <utility>

#include "convert/source_reader.h"
#include "convert/text_hash.h"

namespace {

constexpr int32_t kInitialEntries = 1024;

bool grow_slots(LocationTable* t, uint32_t new_size) {
    MallocArray<LocationSlot> slots = calloc_array<LocationSlot>(new_size);
    if (!slots)
        return false;
    uint32_t mask = new_size - 1;
    for (int32_t i = 0; i < t->location_count; ++i) {
        uint32_t s = t->entries[size_t(i)].hash & mask;
        while (slots[s].entry_plus_one != 0)
            s = (s + 1) & mask;
        slots[s] = LocationSlot{t->entries[size_t(i)].hash, uint32_t(i) + 1};
    }
    t->slots = std::move(slots);
    t->slot_mask = mask;
    return true;
}

bool grow_slots(LocationTable* t) {
    return grow_slots(t, (t->slot_mask + 1) * 2);
}

// Puts the entries that append_location added into the hash index, before the first search.
bool index_appended(LocationTable* t) {
    for (int32_t i = t->indexed_count; i < t->location_count; ++i) {
        LocationEntry& e = t->entries[size_t(i)];
        e.hash = hash_text(e.text, e.length);
    }
    uint32_t slot_count = t->slot_mask + 1;
    while (uint64_t(t->location_count) * 2 > slot_count && slot_count < (1u << 31))
        slot_count *= 2;
    if (!grow_slots(t, slot_count))
        return false;
    t->indexed_count = t->location_count;
    return true;
}

bool grow_entries(LocationTable* t, int64_t room) {
    if (room > t->capacity)
        room = t->capacity;
    if (!realloc_array(&t->entries, size_t(room)))
        return false;
    t->entry_room = int32_t(room);
    return true;
}

} // namespace

int location_table_init(LocationTable* t, int32_t capacity) {
    *t = LocationTable{};
    t->capacity = capacity;
    t->entry_room = capacity < kInitialEntries ? capacity : kInitialEntries;
    t->entries = malloc_array<LocationEntry>(size_t(t->entry_room));
    // Slots stay at most half full: twice the entries, rounded to a power of two.
    uint32_t slot_count = 1;
    while (slot_count < uint32_t(t->entry_room) * 2)
        slot_count *= 2;
    t->slots = calloc_array<LocationSlot>(slot_count);
    t->slot_mask = slot_count - 1;
    if (!t->entries || !t->slots) {
        *t = LocationTable{};
        return -1;
    }
    return 0;
}

int32_t intern_location(LocationTable* t, const char* text) {
    if (text == nullptr)
        text = empty_text;
    if (t->indexed_count < t->location_count && !index_appended(t))
        return INTERN_OUT_OF_MEMORY;
    uint32_t length = uint32_t(std::strlen(text));
    uint32_t hash = hash_text(text, length);

    uint32_t s = hash & t->slot_mask;
    for (; t->slots[s].entry_plus_one != 0; s = (s + 1) & t->slot_mask) {
        if (t->slots[s].hash != hash)
            continue;
        uint32_t index = t->slots[s].entry_plus_one - 1;
        const LocationEntry& e = t->entries[index];
        if (e.length == length && std::memcmp(e.text, text, length) == 0)
            return int32_t(index);
    }

    int32_t index = append_location(t, text, length);
    if (index < 0)
        return index;
    t->entries[size_t(index)].hash = hash;
    t->slots[s] = LocationSlot{hash, uint32_t(index) + 1};
    t->indexed_count = t->location_count;

    if (uint64_t(t->location_count) * 2 > t->slot_mask + 1 && !grow_slots(t)) {
        // The entry is in; only the index could not grow. Undo so the table stays consistent.
        t->slots[s] = LocationSlot{0, 0};
        t->location_count = t->indexed_count = index;
        return INTERN_OUT_OF_MEMORY;
    }
    return index;
}

int32_t append_location(LocationTable* t, const char* text, uint32_t length) {
    if (t->location_count >= t->capacity)
        return INTERN_TABLE_FULL;
    if (t->location_count == t->entry_room && !grow_entries(t, int64_t(t->entry_room) * 2))
        return INTERN_OUT_OF_MEMORY;
    int32_t index = t->location_count;
    uint64_t end = uint64_t(location_offset(t, index)) + length + 1;
    if (end > UINT32_MAX)
        return INTERN_AREA_FULL;
    t->entries[size_t(index)] = LocationEntry{text, uint32_t(end), length, 0};
    t->location_count = index + 1;
    return index;
}

bool reserve_locations(LocationTable* t, int32_t count) {
    if (count <= t->entry_room)
        return true;
    if (count > t->capacity)
        count = t->capacity;
    // A new block rather than a grown one: a large block comes whole in huge pages.
    MallocArray<LocationEntry> entries = malloc_array<LocationEntry>(size_t(count));
    if (!entries)
        return false;
    if (t->location_count > 0)
        std::memcpy(entries.get(), t->entries.get(),
                    size_t(t->location_count) * sizeof(LocationEntry));
    t->entries = std::move(entries);
    t->entry_room = count;
    return true;
}

uint32_t location_offset(const LocationTable* t, int32_t index) {
    return index == 0 ? 0 : t->entries[size_t(index - 1)].end_offset;
}
