#include "reader/db_reader.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/byte_order.h"
#include "common/db_layout.h"
#include "common/md5.h"

using db_layout::LayoutTraits;

namespace {

constexpr uint32_t kBucketCount = 1u << 16;

void reset(NorvaneDb* db) {
    *db = NorvaneDb{};
}

DbStatus fail(DbError* error, DbStatus status, uint64_t item = 0, uint64_t value = 0,
              uint64_t limit = 0, bool area = false) {
    error->status = status;
    error->item = item;
    error->value = value;
    error->limit = limit;
    error->area = area;
    return status;
}

// Magic, version and counts: fixes where every part of the body lies.
DbStatus read_structure(NorvaneDb* db, DbError* error) {
    using namespace db_layout;
    bool has_magic = db->size >= kMagicSize && std::memcmp(db->data, kMagic, kMagicSize) == 0;
    const LayoutTraits& layout = traits(has_magic ? kFormatNew : kFormatOld);
    size_t prefix = layout.prefix_size;
    size_t header = layout.header_size;
    if (db->size < prefix + header)
        return fail(error, DB_TOO_SHORT, 0, db->size, prefix + header);

    const uint8_t* body = db->data + prefix;
    uint32_t version = load_le32(body);
    if (version != uint32_t(layout.format_version))
        return fail(error, DB_BAD_VERSION, 0, version, uint64_t(layout.format_version));

    db->format_version = layout.format_version;
    std::memcpy(db->digest, db->data + prefix - kDigestSize, kDigestSize);
    db->range_count = load_le32(body + 4);
    db->text_count = layout.index_width == 4 ? load_le32(body + 8) : load_le16(body + 8);

    // 64-bit sums: counts up to 2^32 cannot overflow them.
    uint64_t body_size = db->size - prefix;
    uint64_t texts_begin = header + uint64_t(db->range_count) * layout.range_entry_size +
                           uint64_t(db->text_count) * kTextOffsetSize;
    if (texts_begin > body_size)
        return fail(error, DB_TRUNCATED, 0, prefix + body_size, prefix + texts_begin);

    db->ranges = body + header;
    db->text_offsets = db->ranges + size_t(db->range_count) * layout.range_entry_size;
    db->texts = reinterpret_cast<const char*>(body + texts_begin);
    db->texts_size = size_t(body_size - texts_begin);
    return DB_OK;
}

// Every offset inside the text area, every text terminated there, nothing after the last one.
// Linear in text_count however the offsets overlap: a text is terminated exactly when a zero
// byte lies at or after its offset.
DbStatus check_texts(const NorvaneDb* db, DbError* error) {
    const char* last_zero = nullptr;
    for (size_t i = db->texts_size; i > 0; --i) {
        if (db->texts[i - 1] == '\0') {
            last_zero = db->texts + i - 1;
            break;
        }
    }
    uint64_t furthest_offset = 0;
    for (uint32_t j = 0; j < db->text_count; ++j) {
        uint32_t offset = load_le32(db->text_offsets + size_t(j) * db_layout::kTextOffsetSize);
        if (offset >= db->texts_size)
            return fail(error, DB_BAD_TEXT_OFFSET, j, offset, db->texts_size);
        if (last_zero == nullptr || db->texts + offset > last_zero)
            return fail(error, DB_UNTERMINATED_TEXT, j, offset, db->texts_size);
        if (offset > furthest_offset)
            furthest_offset = offset;
    }
    size_t used = 0;
    if (db->text_count > 0) {
        const char* text = db->texts + furthest_offset;
        used = size_t(text - db->texts) + std::strlen(text) + 1;
    }
    if (used != db->texts_size)
        return fail(error, DB_TRAILING_BYTES, 0, db->texts_size - used, used);
    return DB_OK;
}

DbStatus check_indexes(const NorvaneDb* db, DbError* error) {
    for (uint32_t i = 0; i < db->range_count; ++i) {
        DbRange range = db_range(db, i);
        if (range.country_index >= db->text_count)
            return fail(error, DB_BAD_TEXT_INDEX, i, range.country_index, db->text_count, false);
        if (range.area_index >= db->text_count)
            return fail(error, DB_BAD_TEXT_INDEX, i, range.area_index, db->text_count, true);
    }
    return DB_OK;
}

uint32_t text_offset(const NorvaneDb* db, uint32_t index) {
    return load_le32(db->text_offsets + size_t(index) * db_layout::kTextOffsetSize);
}

// Builds the binary-search index when the covering ranges ascend without overlap; ranges whose
// end lies below their start cover nothing and are left out.
DbStatus build_lookup_index(NorvaneDb* db, DbError* error) {
    db->sorted = true;
    try {
        db->starts.reserve(db->range_count);
        db->slots.reserve(db->range_count);
        db->buckets.assign(kBucketCount + 1, 0);
    } catch (const std::bad_alloc&) {
        return fail(error, DB_OUT_OF_MEMORY);
    }
    bool any = false;
    uint32_t previous_end = 0;
    for (uint32_t i = 0; i < db->range_count; ++i) {
        DbRange range = db_range(db, i);
        if (range.start_ip > range.end_ip)
            continue;
        if (any && range.start_ip <= previous_end) {
            db->sorted = false;
            break;
        }
        any = true;
        previous_end = range.end_ip;
        db->starts.push_back(range.start_ip);
        db->slots.push_back({range.end_ip, text_offset(db, range.country_index),
                             text_offset(db, range.area_index), i});
    }
    if (!db->sorted) {
        std::vector<uint32_t>().swap(db->starts);
        std::vector<DbLookupSlot>().swap(db->slots);
        std::vector<uint32_t>().swap(db->buckets);
        return DB_OK;
    }
    uint32_t position = 0;
    uint32_t count = uint32_t(db->starts.size());
    for (uint32_t h = 0; h <= kBucketCount; ++h) {
        uint64_t floor = uint64_t(h) << 16;
        while (position < count && db->starts[position] < floor)
            ++position;
        db->buckets[h] = position;
    }
    return DB_OK;
}

DbStatus validate_checked(NorvaneDb* db, DbError* error) {
    DbStatus status = read_structure(db, error);
    if (status != DB_OK)
        return status;
    uint8_t actual[16];
    size_t prefix = db_layout::traits(db->format_version).prefix_size;
    md5_digest(db->data + prefix, db->size - prefix, actual);
    if (std::memcmp(actual, db->digest, sizeof actual) != 0)
        return fail(error, DB_DIGEST_MISMATCH);
    status = check_texts(db, error);
    if (status == DB_OK)
        status = check_indexes(db, error);
    if (status == DB_OK)
        status = build_lookup_index(db, error);
    return status;
}

// Lack of memory anywhere in validation is a status like every other failure.
DbStatus validate(NorvaneDb* db, DbError* error) {
    try {
        return validate_checked(db, error);
    } catch (const std::bad_alloc&) {
        return fail(error, DB_OUT_OF_MEMORY);
    }
}

} // namespace

std::string db_error_message(const DbError& e) {
    char line[256];
    switch (e.status) {
    case DB_OK:
        return "no error";
    case DB_CANT_OPEN:
        return "can't open the file";
    case DB_NOT_REGULAR:
        return "not a regular file";
    case DB_CANT_READ:
        return "can't read the file";
    case DB_TOO_LARGE:
        return "the file is too large to load";
    case DB_OUT_OF_MEMORY:
        return "out of memory";
    case DB_TOO_SHORT:
        std::snprintf(line, sizeof line,
                      "file of %" PRIu64 " bytes is too short for a database (at least %" PRIu64
                      " needed)",
                      e.value, e.limit);
        return line;
    case DB_BAD_VERSION:
        if (e.limit == uint64_t(db_layout::kFormatNew))
            std::snprintf(line, sizeof line,
                          "format_version %" PRIu64
                          " behind the NorvaneDatabase2 magic, 2 expected",
                          e.value);
        else
            std::snprintf(line, sizeof line,
                          "no NorvaneDatabase2 magic and format_version %" PRIu64
                          " is not the old layout's 1",
                          e.value);
        return line;
    case DB_TRUNCATED:
        std::snprintf(line, sizeof line,
                      "truncated: range_count and text_count need %" PRIu64
                      " bytes before the texts, the file has %" PRIu64,
                      e.limit, e.value);
        return line;
    case DB_DIGEST_MISMATCH:
        return "MD5 digest mismatch: the body is not what was written";
    case DB_BAD_TEXT_OFFSET:
        std::snprintf(line, sizeof line,
                      "text %" PRIu64 ": offset %" PRIu64 " lies outside the text area of %" PRIu64
                      " bytes",
                      e.item, e.value, e.limit);
        return line;
    case DB_UNTERMINATED_TEXT:
        std::snprintf(line, sizeof line,
                      "text %" PRIu64 " at offset %" PRIu64
                      " has no zero byte inside the text area",
                      e.item, e.value);
        return line;
    case DB_TRAILING_BYTES:
        std::snprintf(line, sizeof line, "%" PRIu64 " stray bytes after the last text", e.value);
        return line;
    case DB_BAD_TEXT_INDEX:
        std::snprintf(line, sizeof line,
                      "range %" PRIu64 ": %s index %" PRIu64 " is not below text_count %" PRIu64,
                      e.item, e.area ? "area" : "country", e.value, e.limit);
        return line;
    }
    return "unknown error";
}

DbStatus db_open_memory(const uint8_t* data, size_t size, NorvaneDb* db, DbError* error) {
    reset(db);
    db->data = data;
    db->size = size;
    fail(error, DB_OK);
    DbStatus status = validate(db, error);
    if (status != DB_OK)
        reset(db);
    return status;
}

DbStatus db_open_file(const char* path, NorvaneDb* db, DbError* error) {
    reset(db);
    switch (file_image_load(path, &db->image)) {
    case FILE_IMAGE_OK:
        break;
    case FILE_IMAGE_CANT_OPEN:
        return fail(error, DB_CANT_OPEN);
    case FILE_IMAGE_NOT_REGULAR:
        return fail(error, DB_NOT_REGULAR);
    case FILE_IMAGE_CANT_READ:
        return fail(error, DB_CANT_READ);
    case FILE_IMAGE_TOO_LARGE:
        return fail(error, DB_TOO_LARGE);
    case FILE_IMAGE_OUT_OF_MEMORY:
        return fail(error, DB_OUT_OF_MEMORY);
    }
    db->data = db->image.data;
    db->size = db->image.size;
    fail(error, DB_OK);
    DbStatus status = validate(db, error);
    if (status != DB_OK)
        reset(db);
    return status;
}

DbRange db_range(const NorvaneDb* db, uint32_t index) {
    DbRange range;
    const LayoutTraits& layout = db_layout::traits(db->format_version);
    const uint8_t* p = db->ranges + size_t(index) * layout.range_entry_size;
    range.start_ip = load_le32(p);
    range.end_ip = load_le32(p + 4);
    if (layout.index_width == 4) {
        range.country_index = load_le32(p + 8);
        range.area_index = load_le32(p + 12);
    } else {
        range.country_index = load_le16(p + 8);
        range.area_index = load_le16(p + 10);
    }
    return range;
}

const char* db_text(const NorvaneDb* db, uint32_t index) {
    return db->texts + text_offset(db, index);
}

bool db_lookup(const NorvaneDb* db, uint32_t address, DbLocation* location) {
    if (!db->sorted) {
        for (uint32_t i = 0; i < db->range_count; ++i) {
            DbRange range = db_range(db, i);
            if (range.start_ip <= address && address <= range.end_ip) {
                location->entry = i;
                location->country = db_text(db, range.country_index);
                location->area = db_text(db, range.area_index);
                return true;
            }
        }
        return false;
    }
    // Elements before the address's bucket start lower, elements after it higher; find the last
    // element at or below the address with a branch-free halving search inside the bucket.
    uint32_t bucket = address >> 16;
    const uint32_t* starts = db->starts.data();
    const uint32_t* base = starts + db->buckets[bucket];
    size_t n = db->buckets[bucket + 1] - db->buckets[bucket];
    while (n > 1) {
        size_t half = n / 2;
        base = base[half] <= address ? base + half : base;
        n -= half;
    }
    size_t above = size_t(base - starts) + (n == 1 && *base <= address ? 1 : 0);
    if (above == 0)
        return false;
    const DbLookupSlot& slot = db->slots[above - 1];
    if (address > slot.end_ip)
        return false;
    location->entry = slot.entry;
    location->country = db->texts + slot.country_offset;
    location->area = db->texts + slot.area_offset;
    return true;
}
