#include "tests/mmdb_check.h"

#include <cstring>

namespace {

const uint8_t kMarker[] = {0xAB, 0xCD, 0xEF, 'M', 'a', 'x', 'M', 'i', 'n', 'd', '.', 'c', 'o', 'm'};
constexpr size_t kSearchWindow = 128 * 1024;
constexpr int kMaxNesting = 32;

struct Cursor {
    const uint8_t* base;
    size_t size;
    size_t at;
    std::string* error;
};

bool fail(std::string* error, const std::string& why) {
    if (error != nullptr && error->empty())
        *error = why;
    return false;
}

bool take(Cursor* c, size_t n, const uint8_t** p) {
    if (n > c->size - c->at)
        return fail(c->error, "value runs past the end of its section");
    *p = c->base + c->at;
    c->at += n;
    return true;
}

bool big_endian(Cursor* c, size_t n, uint64_t* value) {
    const uint8_t* p = nullptr;
    if (!take(c, n, &p))
        return false;
    *value = 0;
    for (size_t i = 0; i < n; ++i)
        *value = *value << 8 | p[i];
    return true;
}

bool decode(Cursor* c, MmdbDecoded* value, int depth, bool after_pointer);

bool decode_pointer(Cursor* c, uint8_t control, MmdbDecoded* value, int depth, bool after_pointer) {
    if (after_pointer)
        return fail(c->error, "a pointer points at a pointer");
    uint32_t ss = control >> 3 & 3;
    uint64_t rest = 0;
    if (!big_endian(c, ss + 1, &rest))
        return false;
    uint64_t target = 0;
    const uint64_t high = control & 7;
    switch (ss) {
    case 0:
        target = high << 8 | rest;
        break;
    case 1:
        target = (high << 16 | rest) + 2048;
        break;
    case 2:
        target = (high << 24 | rest) + 526336;
        break;
    default:
        target = rest;
        break;
    }
    if (target >= c->size)
        return fail(c->error, "a pointer points outside the section");
    Cursor there{c->base, c->size, size_t(target), c->error};
    return decode(&there, value, depth + 1, true);
}

bool decode(Cursor* c, MmdbDecoded* value, int depth, bool after_pointer) {
    if (depth > kMaxNesting)
        return fail(c->error, "values nested too deep");
    const uint8_t* p = nullptr;
    if (!take(c, 1, &p))
        return false;
    uint8_t control = p[0];
    int type = control >> 5;
    if (type == 1)
        return decode_pointer(c, control, value, depth, after_pointer);
    if (type == 0) {
        if (!take(c, 1, &p))
            return false;
        type = 7 + p[0];
        if (type < 8 || type > 15)
            return fail(c->error, "bad extended type");
    }
    uint64_t size = control & 31;
    uint64_t extra = 0;
    if (size >= 29) {
        size_t n = size_t(size - 28);
        if (!big_endian(c, n, &extra))
            return false;
        size = (n == 1 ? 29 : n == 2 ? 285 : 65821) + extra;
    }
    value->type = type;
    switch (type) {
    case 2:
    case 4:
        if (!take(c, size_t(size), &p))
            return false;
        value->text.assign(reinterpret_cast<const char*>(p), size_t(size));
        return true;
    case 5:
    case 6:
    case 9:
    case 10:
        if (size > (type == 5 ? 2u : type == 6 ? 4u : type == 9 ? 8u : 16u))
            return fail(c->error, "integer wider than its type");
        return size > 8 ? take(c, size_t(size), &p) : big_endian(c, size_t(size), &value->number);
    case 7:
        for (uint64_t i = 0; i < size; ++i) {
            MmdbDecoded key, item;
            if (!decode(c, &key, depth + 1, false))
                return false;
            if (key.type != 2)
                return fail(c->error, "a map key is not a string");
            if (!decode(c, &item, depth + 1, false))
                return false;
            value->map[key.text] = item;
        }
        return true;
    case 11:
        for (uint64_t i = 0; i < size; ++i) {
            MmdbDecoded item;
            if (!decode(c, &item, depth + 1, false))
                return false;
            value->array.push_back(item);
        }
        return true;
    case 14:
        return size <= 1;
    case 3:
        return size == 8 && take(c, 8, &p);
    case 15:
        return size == 4 && take(c, 4, &p);
    case 8:
        return size <= 4 && big_endian(c, size_t(size), &value->number);
    default:
        return fail(c->error, "unknown type");
    }
}

uint64_t meta_number(const MmdbDecoded& meta, const char* key) {
    auto it = meta.map.find(key);
    return it == meta.map.end() ? 0 : it->second.number;
}

uint32_t read_record(const MmdbFile& file, uint32_t node, int side) {
    const uint8_t* p = file.bytes + size_t(node) * (file.record_size / 4);
    switch (file.record_size) {
    case 24:
        p += side * 3;
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    case 28:
        if (side == 0)
            return uint32_t(p[3] >> 4) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        return uint32_t(p[3] & 15) << 24 | uint32_t(p[4]) << 16 | uint32_t(p[5]) << 8 | p[6];
    default:
        p += side * 4;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }
}

} // namespace

bool mmdb_check_open(const uint8_t* bytes, size_t size, MmdbFile* file, std::string* error) {
    *file = MmdbFile{};
    size_t window = size < kSearchWindow ? size : kSearchWindow;
    size_t marker = SIZE_MAX;
    for (size_t at = size - window; at + sizeof kMarker <= size; ++at)
        if (std::memcmp(bytes + at, kMarker, sizeof kMarker) == 0)
            marker = at;
    if (marker == SIZE_MAX)
        return fail(error, "no metadata marker");
    size_t meta_at = marker + sizeof kMarker;
    Cursor c{bytes + meta_at, size - meta_at, 0, error};
    if (!decode(&c, &file->metadata, 0, false))
        return false;
    if (file->metadata.type != 7)
        return fail(error, "the metadata is not a map");
    file->bytes = bytes;
    file->size = size;
    file->node_count = uint32_t(meta_number(file->metadata, "node_count"));
    file->record_size = uint32_t(meta_number(file->metadata, "record_size"));
    file->ip_version = uint32_t(meta_number(file->metadata, "ip_version"));
    if (file->record_size != 24 && file->record_size != 28 && file->record_size != 32)
        return fail(error, "bad record_size");
    if (file->ip_version != 4 && file->ip_version != 6)
        return fail(error, "bad ip_version");
    if (meta_number(file->metadata, "binary_format_major_version") != 2)
        return fail(error, "binary_format_major_version is not 2");
    file->tree_size = size_t(file->node_count) * (file->record_size / 4);
    if (file->tree_size + 16 > marker)
        return fail(error, "the tree runs into the metadata");
    for (size_t i = 0; i < 16; ++i)
        if (bytes[file->tree_size + i] != 0)
            return fail(error, "no 16 zero bytes after the tree");
    file->data = bytes + file->tree_size + 16;
    file->data_size = marker - file->tree_size - 16;
    return true;
}

bool mmdb_decode_at(const MmdbFile& file, size_t offset, MmdbDecoded* value, std::string* error) {
    if (offset >= file.data_size)
        return fail(error, "a record points outside the data section");
    Cursor c{file.data, file.data_size, offset, error};
    *value = MmdbDecoded{};
    return decode(&c, value, 0, false);
}

bool mmdb_check_tree(const MmdbFile& file, std::string* error, size_t* records) {
    *records = 0;
    if (file.node_count == 0)
        return fail(error, "no nodes");
    const int bits = file.ip_version == 6 ? 128 : 32;
    std::vector<uint8_t> seen(file.node_count, 0);
    std::map<uint32_t, bool> data_seen;
    std::vector<std::pair<uint32_t, int>> stack{{0, 0}};
    seen[0] = 1;
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        for (int side = 0; side < 2; ++side) {
            uint32_t value = read_record(file, node, side);
            if (value < file.node_count) {
                if (depth + 1 >= bits)
                    return fail(error, "a path is longer than the address");
                if (!seen[value]) { // aliases make the tree a graph: each node once
                    seen[value] = 1;
                    stack.push_back({value, depth + 1});
                }
            } else if (value > file.node_count) {
                if (value - file.node_count < 16)
                    return fail(error, "a record points into the separator");
                uint32_t offset = value - file.node_count - 16;
                if (data_seen.count(offset))
                    continue;
                data_seen[offset] = true;
                MmdbDecoded decoded;
                if (!mmdb_decode_at(file, offset, &decoded, error))
                    return false;
                ++*records;
            }
        }
    }
    return true;
}

bool mmdb_lookup(const MmdbFile& file, const uint8_t address[16], MmdbDecoded* value,
                 int* prefix_length) {
    const int bits = file.ip_version == 6 ? 128 : 32;
    uint32_t node = 0;
    for (int depth = 0; depth < bits; ++depth) {
        int bit = address[depth / 8] >> (7 - depth % 8) & 1;
        uint32_t next = read_record(file, node, bit);
        if (next == file.node_count)
            return false;
        if (next > file.node_count) {
            *prefix_length = depth + 1;
            std::string error;
            return next - file.node_count >= 16 &&
                   mmdb_decode_at(file, next - file.node_count - 16, value, &error);
        }
        node = next;
    }
    return false;
}

void mmdb_ipv4_address(uint32_t ipv4, bool mapped, uint8_t address[16]) {
    std::memset(address, 0, 16);
    if (mapped)
        address[10] = address[11] = 0xFF;
    for (int i = 0; i < 4; ++i)
        address[12 + i] = uint8_t(ipv4 >> (24 - 8 * i));
}

std::string mmdb_string_at(const MmdbDecoded& value, const std::vector<std::string>& path) {
    const MmdbDecoded* at = &value;
    for (const std::string& key : path) {
        if (at->type == 11) {
            size_t index = size_t(std::stoul(key));
            if (index >= at->array.size())
                return "";
            at = &at->array[index];
            continue;
        }
        auto it = at->map.find(key);
        if (it == at->map.end())
            return "";
        at = &it->second;
    }
    return at->type == 2 ? at->text : "";
}
