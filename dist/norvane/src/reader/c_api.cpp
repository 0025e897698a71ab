// The C interface of include/norvane.h: a handle around the C++ reader. UTF-8 forms of the
// texts are made on first use and kept (decoding every text at open would cost more than the
// open itself: the GB18030 converter is slow), behind a lock so that calls on one handle may
// come from many threads.
#include "norvane.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

#include "reader/db_reader.h"
#include "reader/ipv4_text.h"
#include "reader/location_parser.h"
#include "reader/text_codec.h"

namespace {

// The lock around decoding. MinGW's default (win32) thread model has no std::mutex.
#ifdef _WIN32
struct DecodeLock {
    SRWLOCK lock = SRWLOCK_INIT;
    void acquire() { AcquireSRWLockExclusive(&lock); }
    void release() { ReleaseSRWLockExclusive(&lock); }
};
#else
struct DecodeLock {
    std::mutex lock;
    void acquire() { lock.lock(); }
    void release() { lock.unlock(); }
};
#endif

struct HeldLock {
    DecodeLock* held;
    explicit HeldLock(DecodeLock* lock) : held(lock) { held->acquire(); }
    ~HeldLock() { held->release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
};

} // namespace

struct norvane_db {
    NorvaneDb db;
    // By text index: its UTF-8 form, null until first asked for. Set once, under the lock.
    std::unique_ptr<std::atomic<const char*>[]> utf8;
    DecodeLock decode_lock;
    TextDecoder decoder;          // used under the lock
    std::deque<std::string> made; // the UTF-8 forms (a deque never moves its elements)
};

namespace {

int error_code(DbStatus status) {
    switch (status) {
    case DB_OK:
        return NORVANE_OK;
    case DB_CANT_OPEN:
    case DB_NOT_REGULAR:
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

// Throws std::bad_alloc when memory is short; the handle is released then too.
int finish_open(std::unique_ptr<norvane_db> handle, DbStatus status, norvane_db** db) {
    int error = error_code(status);
    if (error != NORVANE_OK)
        return error;
    if (!text_decoder_open(&handle->decoder))
        return NORVANE_ERROR_NO_DECODER;
    handle->utf8.reset(new std::atomic<const char*>[handle->db.text_count]);
    for (uint32_t j = 0; j < handle->db.text_count; ++j)
        handle->utf8[j].store(nullptr, std::memory_order_relaxed);
    *db = handle.release();
    return NORVANE_OK;
}

// Text `index` in UTF-8, decoded on first use; throws std::bad_alloc when memory is short.
const char* utf8_text(norvane_db* db, uint32_t index) {
    const char* text = db->utf8[index].load(std::memory_order_acquire);
    if (text != nullptr)
        return text;
    HeldLock hold(&db->decode_lock);
    text = db->utf8[index].load(std::memory_order_relaxed);
    if (text == nullptr) {
        const char* stored = db_text(&db->db, index);
        db->made.emplace_back();
        decode_to_utf8(&db->decoder, stored, std::strlen(stored), &db->made.back());
        text = db->made.back().c_str();
        db->utf8[index].store(text, std::memory_order_release);
    }
    return text;
}

int fill(const norvane_db* db, uint32_t entry, norvane_location* location) {
    // The UTF-8 forms are a cache behind the handle: filling it changes nothing the caller sees.
    norvane_db* cache = const_cast<norvane_db*>(db);
    DbRange range = db_range(&db->db, entry);
    try {
        location->country_utf8 = utf8_text(cache, range.country_index);
        location->area_utf8 = utf8_text(cache, range.area_index);
    } catch (const std::bad_alloc&) {
        return NORVANE_ERROR_OUT_OF_MEMORY;
    }
    location->start_ip = range.start_ip;
    location->end_ip = range.end_ip;
    location->range_index = entry;
    location->country = db_text(&db->db, range.country_index);
    location->area = db_text(&db->db, range.area_index);
    return NORVANE_OK;
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
    case NORVANE_ERROR_BUFFER_TOO_SMALL:
        return "the buffer is too small for the result";
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
        std::unique_ptr<norvane_db> handle(new norvane_db);
        DbError error;
        DbStatus status = db_open_file(path, &handle->db, &error);
        return finish_open(std::move(handle), status, db);
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
        std::unique_ptr<norvane_db> handle(new norvane_db);
        DbError error;
        DbStatus status =
            db_open_memory(static_cast<const uint8_t*>(data), size, &handle->db, &error);
        return finish_open(std::move(handle), status, db);
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
    return fill(db, where.entry, location);
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
    return fill(db, index, location);
}

int norvane_format_version(const norvane_db* db) {
    return db == nullptr ? 0 : int(db->db.format_version);
}

int norvane_parse_location(const char* country_utf8, const char* area_utf8, char* buffer,
                           size_t buffer_size, norvane_place* place, size_t* needed) {
    if (country_utf8 == nullptr || area_utf8 == nullptr || place == nullptr ||
        (buffer == nullptr && buffer_size > 0))
        return NORVANE_ERROR_INVALID_ARGUMENT;
    const char** out[] = {&place->country_code, &place->country,  &place->province,
                          &place->city,         &place->district, &place->isp};
    for (const char** field : out)
        *field = "";
    ParsedLocation parsed;
    try {
        parse_location(country_utf8, area_utf8, &parsed);
    } catch (const std::bad_alloc&) {
        return NORVANE_ERROR_OUT_OF_MEMORY;
    }
    const std::string* fields[] = {&parsed.country_code, &parsed.country,  &parsed.province,
                                   &parsed.city,         &parsed.district, &parsed.isp};
    size_t total = 0;
    for (const std::string* field : fields)
        total += field->size() + 1;
    if (needed != nullptr)
        *needed = total;
    if (buffer_size < total)
        return NORVANE_ERROR_BUFFER_TOO_SMALL;
    char* at = buffer;
    for (size_t i = 0; i < std::size(fields); ++i) {
        std::memcpy(at, fields[i]->c_str(), fields[i]->size() + 1);
        *out[i] = at;
        at += fields[i]->size() + 1;
    }
    return NORVANE_OK;
}

} // extern "C"
