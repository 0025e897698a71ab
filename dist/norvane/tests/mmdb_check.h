// A small, independent MaxMind DB reader for the tests and the fuzz target: opens a file the way
// libmaxminddb does (metadata found from the end), checks that every record the tree reaches
// leads to a node, to nothing or to a value that decodes inside the data section, and looks
// addresses up. Every read is bounds-checked: it is meant for files that may be wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct MmdbDecoded {
    int type = 0; // the format's type number: 2 string, 5/6/9 unsigned, 7 map, 11 array
    std::string text;
    uint64_t number = 0;
    std::map<std::string, MmdbDecoded> map;
    std::vector<MmdbDecoded> array;
};

struct MmdbFile {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    MmdbDecoded metadata;
    uint32_t node_count = 0;
    uint32_t record_size = 0;
    uint32_t ip_version = 0;
    size_t tree_size = 0;
    const uint8_t* data = nullptr; // the data section, after the 16 zero bytes
    size_t data_size = 0;
};

// Finds and decodes the metadata and checks the sizes; false with the reason in error.
bool mmdb_check_open(const uint8_t* bytes, size_t size, MmdbFile* file, std::string* error);

// Walks the whole tree from the root: false when a record leads outside the tree and the data
// section, a path is longer than the address, or a value doesn't decode. records counts the data
// records reached (each distinct one once).
bool mmdb_check_tree(const MmdbFile& file, std::string* error, size_t* records);

// Decodes the value at offset in the data section (pointers followed).
bool mmdb_decode_at(const MmdbFile& file, size_t offset, MmdbDecoded* value, std::string* error);

// Looks up a 128-bit address (an IPv4 tree takes the first 32 bits): true with the value and
// the prefix length when a record holds it; false when nothing does or the file is broken.
bool mmdb_lookup(const MmdbFile& file, const uint8_t address[16], MmdbDecoded* value,
                 int* prefix_length);

// ::a.b.c.d, and ::ffff:a.b.c.d when mapped.
void mmdb_ipv4_address(uint32_t ipv4, bool mapped, uint8_t address[16]);

// The string at a path of map keys ("country", "names", "en"), or "" when it isn't there;
// an index into an array is written as its decimal digits.
std::string mmdb_string_at(const MmdbDecoded& value, const std::vector<std::string>& path);
