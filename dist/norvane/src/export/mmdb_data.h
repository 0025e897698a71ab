// The MaxMind DB data section's encoding: values with their control bytes, and a writer that
// stores each distinct value once and points at it from every later place that repeats it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

enum MmdbType : uint8_t {
    MMDB_POINTER = 1,
    MMDB_STRING = 2,
    MMDB_UINT16 = 5,
    MMDB_UINT32 = 6,
    MMDB_MAP = 7,
    MMDB_UINT64 = 9, // extended types: stored as 0 and the type minus 7 in the next byte
    MMDB_ARRAY = 11,
};

struct MmdbValue {
    MmdbType type = MMDB_MAP;
    std::string text;                                     // MMDB_STRING
    uint64_t number = 0;                                  // the unsigned types
    std::vector<std::pair<std::string, MmdbValue>> pairs; // MMDB_MAP, in the order written
    std::vector<MmdbValue> items;                         // MMDB_ARRAY
};

MmdbValue mmdb_string(std::string text);
MmdbValue mmdb_unsigned(MmdbType type, uint64_t number);
MmdbValue mmdb_array(std::vector<MmdbValue> items);
// Adds key -> value to a map.
void mmdb_put(MmdbValue* map, std::string key, MmdbValue value);

// A control byte (and the extended type and size bytes that follow it) for a value of type and
// size (string bytes, map pairs, array items, integer bytes).
void mmdb_append_control(std::string* out, MmdbType type, size_t size);

// A pointer to offset in the data section: 2 to 5 bytes.
void mmdb_append_pointer(std::string* out, uint32_t offset);
size_t mmdb_pointer_size(uint32_t offset);

// The value written out whole, without pointers (the metadata's form; also the key under which
// the writer remembers a value).
void mmdb_append_plain(std::string* out, const MmdbValue& value);

struct MmdbDataWriter {
    std::string bytes;                               // the data section so far
    std::unordered_map<std::string, uint32_t> where; // plain form -> offset of its one copy
};

// Appends value, or a pointer to an equal value written before where the pointer is the
// shorter; each part of it (map keys included) likewise. Returns the offset of the value's one
// copy, for callers that point at it later themselves.
uint32_t mmdb_write_value(MmdbDataWriter* writer, const MmdbValue& value);
