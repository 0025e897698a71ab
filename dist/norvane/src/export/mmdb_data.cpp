#include "export/mmdb_data.h"

namespace {

constexpr uint32_t kPointerBase1 = 2048;
constexpr uint32_t kPointerBase2 = 2048 + (1u << 19);
constexpr uint32_t kPointerBase3 = kPointerBase2 + (1u << 27);

size_t integer_size(uint64_t number) {
    size_t size = 0;
    while (size < 8 && (number >> (8 * size)) != 0)
        ++size;
    return size;
}

void append_big_endian(std::string* out, uint64_t number, size_t size) {
    for (size_t i = size; i-- > 0;)
        out->push_back(char(uint8_t(number >> (8 * i))));
}

uint32_t write_value(MmdbDataWriter* writer, const MmdbValue& value);

// Writes a string or points at its copy: map keys go through here too.
void write_string(MmdbDataWriter* writer, const std::string& text) {
    MmdbValue value;
    value.type = MMDB_STRING;
    value.text = text;
    write_value(writer, value);
}

void write_contents(MmdbDataWriter* writer, const MmdbValue& value) {
    std::string* out = &writer->bytes;
    switch (value.type) {
    case MMDB_STRING:
        mmdb_append_control(out, MMDB_STRING, value.text.size());
        out->append(value.text);
        break;
    case MMDB_MAP:
        mmdb_append_control(out, MMDB_MAP, value.pairs.size());
        for (const auto& pair : value.pairs) {
            write_string(writer, pair.first);
            write_value(writer, pair.second);
        }
        break;
    case MMDB_ARRAY:
        mmdb_append_control(out, MMDB_ARRAY, value.items.size());
        for (const MmdbValue& item : value.items)
            write_value(writer, item);
        break;
    default: // the unsigned types; nothing refers back to them
        mmdb_append_plain(out, value);
        break;
    }
}

uint32_t write_value(MmdbDataWriter* writer, const MmdbValue& value) {
    std::string plain;
    mmdb_append_plain(&plain, value);
    auto found = writer->where.find(plain);
    if (found != writer->where.end()) {
        if (mmdb_pointer_size(found->second) < plain.size())
            mmdb_append_pointer(&writer->bytes, found->second);
        else
            write_contents(writer, value);
        return found->second;
    }
    uint32_t offset = uint32_t(writer->bytes.size());
    writer->where.emplace(std::move(plain), offset);
    write_contents(writer, value);
    return offset;
}

} // namespace

MmdbValue mmdb_string(std::string text) {
    MmdbValue value;
    value.type = MMDB_STRING;
    value.text = std::move(text);
    return value;
}

MmdbValue mmdb_unsigned(MmdbType type, uint64_t number) {
    MmdbValue value;
    value.type = type;
    value.number = number;
    return value;
}

MmdbValue mmdb_array(std::vector<MmdbValue> items) {
    MmdbValue value;
    value.type = MMDB_ARRAY;
    value.items = std::move(items);
    return value;
}

void mmdb_put(MmdbValue* map, std::string key, MmdbValue value) {
    map->pairs.emplace_back(std::move(key), std::move(value));
}

void mmdb_append_control(std::string* out, MmdbType type, size_t size) {
    uint8_t size_bits = 0;
    size_t extra = 0; // size bytes after the control (and extended type) byte
    size_t rest = 0;
    if (size < 29) {
        size_bits = uint8_t(size);
    } else if (size < 285) {
        size_bits = 29;
        extra = 1;
        rest = size - 29;
    } else if (size < 65821) {
        size_bits = 30;
        extra = 2;
        rest = size - 285;
    } else {
        size_bits = 31;
        extra = 3;
        rest = size - 65821;
    }
    if (type <= 7) {
        out->push_back(char(uint8_t(type << 5 | size_bits)));
    } else {
        out->push_back(char(size_bits));
        out->push_back(char(uint8_t(type - 7)));
    }
    append_big_endian(out, rest, extra);
}

size_t mmdb_pointer_size(uint32_t offset) {
    if (offset < kPointerBase1)
        return 2;
    if (offset < kPointerBase2)
        return 3;
    if (offset < kPointerBase3)
        return 4;
    return 5;
}

void mmdb_append_pointer(std::string* out, uint32_t offset) {
    const uint8_t type_bits = MMDB_POINTER << 5;
    if (offset < kPointerBase1) {
        out->push_back(char(uint8_t(type_bits | (offset >> 8))));
        append_big_endian(out, offset, 1);
    } else if (offset < kPointerBase2) {
        uint32_t v = offset - kPointerBase1;
        out->push_back(char(uint8_t(type_bits | 1 << 3 | (v >> 16))));
        append_big_endian(out, v, 2);
    } else if (offset < kPointerBase3) {
        uint32_t v = offset - kPointerBase2;
        out->push_back(char(uint8_t(type_bits | 2 << 3 | (v >> 24))));
        append_big_endian(out, v, 3);
    } else {
        out->push_back(char(uint8_t(type_bits | 3 << 3)));
        append_big_endian(out, offset, 4);
    }
}

void mmdb_append_plain(std::string* out, const MmdbValue& value) {
    switch (value.type) {
    case MMDB_STRING:
        mmdb_append_control(out, MMDB_STRING, value.text.size());
        out->append(value.text);
        break;
    case MMDB_MAP:
        mmdb_append_control(out, MMDB_MAP, value.pairs.size());
        for (const auto& pair : value.pairs) {
            mmdb_append_control(out, MMDB_STRING, pair.first.size());
            out->append(pair.first);
            mmdb_append_plain(out, pair.second);
        }
        break;
    case MMDB_ARRAY:
        mmdb_append_control(out, MMDB_ARRAY, value.items.size());
        for (const MmdbValue& item : value.items)
            mmdb_append_plain(out, item);
        break;
    case MMDB_POINTER: // never built as a value
        break;
    case MMDB_UINT16:
    case MMDB_UINT32:
    case MMDB_UINT64: {
        size_t size = integer_size(value.number);
        mmdb_append_control(out, value.type, size);
        append_big_endian(out, value.number, size);
        break;
    }
    }
}

uint32_t mmdb_write_value(MmdbDataWriter* writer, const MmdbValue& value) {
    return write_value(writer, value);
}
