// The C interface of include/norvane.h: a handle around the C++ reader, with every text also
// decoded to UTF-8 once at open, so that lookups are const and safe from many threads.
#include "norvane.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "reader/db_reader.h"
#include "reader/ipv4_text.h"
#include "reader/text_codec.h"

struct norvane_db {
    NorvaneDb db;
    std::string utf8;               // the texts in UTF-8, each zero-terminated
    std::vector<size_t> utf8_start; // by text index: where its UTF-8 form starts in utf8
};

namespace {

int error_code(DbStatus status) {
    switch (status) {
    case DB_OK:
        return NORVANE_OK;
    case DB_CANT_OPEN:
        return NORVANE_ERROR_CANT_OPEN;
    case DB_CANT_READ:
        return NORVANE_ERROR_CANT_READ;
    case DB_TOO_LARGE:
        return NORVANE_ERROR_TOO_LARGE;
    case DB_OUT_OF_MEMORY:
        return NORVANE_ERROR_OUT_OF_MEMORY;
    case DB_TOO_SHORT:
        return NORVANE_ERROR_TOO_SHORT;
    case DB_BAD_VERSION:
        return NORVANE_ERROR_BAD_VERSION;
    case DB_TRUNCATED:
        return NORVANE_ERROR_TRUNCATED;
    case DB_DIGEST_MISMATCH:
        return NORVANE_ERROR_DIGEST_MISMATCH;
    case DB_BAD_TEXT_OFFSET:
    case DB_UNTERMINATED_TEXT:
    case DB_TRAILING_BYTES:
        return NORVANE_ERROR_BAD_TEXT;
    case DB_BAD_TEXT_INDEX:
        return NORVANE_ERROR_BAD_TEXT_INDEX;
    }
    return NORVANE_ERROR_OTHER;
}

uint32_t text_offset(const NorvaneDb& db, uint32_t index) {
    return uint32_t(db_text(&db, index) - db.texts);
}

// Decodes the whole text area in one pass (GB18030 is stateless and every zero byte decodes
// to itself, so the n-th text starts after the n-th zero byte on both sides); a text offset
// that points into the middle of another text is decoded on its own.
int decode_texts(norvane_db* handle) {
    const NorvaneDb& db = handle->db;
    TextDecoder decoder;
    if (!text_decoder_open(&decoder))
        return NORVANE_ERROR_NO_DECODER;
    std::string& out = handle->utf8;
    decode_to_utf8(&decoder, db.texts, db.texts_size, &out);

    std::vector<size_t> in_starts, out_starts;
    in_starts.push_back(0);
    for (size_t i = 0; i + 1 < db.texts_size; ++i)
        if (db.texts[i] == '\0')
            in_starts.push_back(i + 1);
    out_starts.push_back(0);
    for (size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] == '\0')
            out_starts.push_back(i + 1);
    bool aligned = in_starts.size() == out_starts.size();

    handle->utf8_start.resize(db.text_count);
    for (uint32_t j = 0; j < db.text_count; ++j) {
        size_t offset = text_offset(db, j);
        auto at = std::lower_bound(in_starts.begin(), in_starts.end(), offset);
        if (aligned && at != in_starts.end() && *at == offset) {
            handle->utf8_start[j] = out_starts[size_t(at - in_starts.begin())];
        } else {
            handle->utf8_start[j] = out.size();
            decode_to_utf8(&decoder, db.texts + offset, std::strlen(db.texts + offset), &out);
            out.push_back('\0');
        }
    }
    return NORVANE_OK;
}

int finish_open(norvane_db* handle, DbStatus status, norvane_db** db) {
    int error = error_code(status);
    if (error == NORVANE_OK)
        error = decode_texts(handle);
    if (error != NORVANE_OK) {
        delete handle;
        return error;
    }
    *db = handle;
    return NORVANE_OK;
}

void fill(const norvane_db* db, uint32_t entry, norvane_location* location) {
    DbRange range = db_range(&db->db, entry);
    location->start_ip = range.start_ip;
    location->end_ip = range.end_ip;
    location->range_index = entry;
    location->country = db_text(&db->db, range.country_index);
    location->area = db_text(&db->db, range.area_index);
    location->country_utf8 = db->utf8.data() + db->utf8_start[range.country_index];
    location->area_utf8 = db->utf8.data() + db->utf8_start[range.area_index];
}

} // namespace

extern "C" {

const char* norvane_strerror(int error) {
    switch (error) {
    case NORVANE_OK:
        return "no error";
    case NORVANE_NOT_FOUND:
        return "no range holds the address";
    case NORVANE_ERROR_INVALID_ARGUMENT:
        return "invalid argument";
    case NORVANE_ERROR_BAD_ADDRESS:
        return "not an IPv4 address";
    case NORVANE_ERROR_CANT_OPEN:
        return "can't open the file";
    case NORVANE_ERROR_CANT_READ:
        return "can't read the file";
    case NORVANE_ERROR_TOO_LARGE:
        return "the file is too large to load";
    case NORVANE_ERROR_OUT_OF_MEMORY:
        return "out of memory";
    case NORVANE_ERROR_TOO_SHORT:
        return "the file is too short for a database";
    case NORVANE_ERROR_BAD_VERSION:
        return "unknown format_version";
    case NORVANE_ERROR_TRUNCATED:
        return "truncated: the ranges and text offsets reach past the end of the file";
    case NORVANE_ERROR_DIGEST_MISMATCH:
        return "MD5 digest mismatch: the body is not what was written";
    case NORVANE_ERROR_BAD_TEXT:
        return "a text offset or terminator is wrong, or stray bytes follow the last text";
    case NORVANE_ERROR_BAD_TEXT_INDEX:
        return "a range's text index is not below text_count";
    case NORVANE_ERROR_NO_DECODER:
        return "this system can't convert GB18030 texts to UTF-8";
    default:
        return "unknown error";
    }
}

int norvane_open(const char* path, norvane_db** db) {
    if (db == nullptr)
        return NORVANE_ERROR_INVALID_ARGUMENT;
    *db = nullptr;
    if (path == nullptr)
        return NORVANE_ERROR_INVALID_ARGUMENT;
    try {
        norvane_db* handle = new norvane_db;
        DbError error;
        return finish_open(handle, db_open_file(path, &handle->db, &error), db);
    } catch (const std::bad_alloc&) {
        return NORVANE_ERROR_OUT_OF_MEMORY;
    }
}

int norvane_open_memory(const void* data, size_t size, norvane_db** db) {
    if (db == nullptr)
        return NORVANE_ERROR_INVALID_ARGUMENT;
    *db = nullptr;
    if (data == nullptr && size > 0)
        return NORVANE_ERROR_INVALID_ARGUMENT;
    try {
        norvane_db* handle = new norvane_db;
        DbError error;
        DbStatus status =
            db_open_memory(static_cast<const uint8_t*>(data), size, &handle->db, &error);
        return finish_open(handle, status, db);
    } catch (const std::bad_alloc&) {
        return NORVANE_ERROR_OUT_OF_MEMORY;
    }
}

void norvane_close(norvane_db* db) {
    delete db;
}

int norvane_lookup(const norvane_db* db, uint32_t address, norvane_location* location) {
    if (db == nullptr || location == nullptr)
        return NORVANE_ERROR_INVALID_ARGUMENT;
    DbLocation where;
    if (!db_lookup(&db->db, address, &where))
        return NORVANE_NOT_FOUND;
    fill(db, where.entry, location);
    return NORVANE_OK;
}

int norvane_lookup_text(const norvane_db* db, const char* address, norvane_location* location) {
    if (db == nullptr || address == nullptr || location == nullptr)
        return NORVANE_ERROR_INVALID_ARGUMENT;
    uint32_t value;
    if (!parse_ipv4(address, std::strlen(address), &value))
        return NORVANE_ERROR_BAD_ADDRESS;
    return norvane_lookup(db, value, location);
}

uint32_t norvane_range_count(const norvane_db* db) {
    return db == nullptr ? 0 : db->db.range_count;
}

int norvane_range(const norvane_db* db, uint32_t index, norvane_location* location) {
    if (db == nullptr || location == nullptr || index >= db->db.range_count)
        return NORVANE_ERROR_INVALID_ARGUMENT;
    fill(db, index, location);
    return NORVANE_OK;
}

int norvane_format_version(const norvane_db* db) {
    return db == nullptr ? 0 : int(db->db.format_version);
}

} // extern "C"
