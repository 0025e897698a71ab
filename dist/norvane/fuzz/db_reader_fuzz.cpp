// libFuzzer target: any bytes as a converted database. Opening must either refuse them or leave
// a database whose every range, text and lookup stays inside the bytes; a lookup must agree with
// a plain scan of the ranges in file order; the location parser takes every range's texts. Each
// input is also tried with its digest fixed up, so that mutations get past the MD5 check to the
// structural ones.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/db_layout.h"
#include "reader/db_reader.h"
#include "reader/db_stats.h"
#include "reader/location_parser.h"
#include "common/md5.h"

namespace {

bool holds(const DbRange& r, uint32_t address) {
    return r.start_ip <= address && address <= r.end_ip;
}

void check_lookup(const NorvaneDb& db, uint32_t address) {
    DbLocation location;
    bool found = db_lookup(&db, address, &location);
    uint32_t first = 0;
    while (first < db.range_count && !holds(db_range(&db, first), address))
        ++first;
    if (found != (first < db.range_count))
        __builtin_trap();
    if (found) {
        DbRange r = db_range(&db, first);
        if (location.entry != first || location.country != db_text(&db, r.country_index) ||
            location.area != db_text(&db, r.area_index))
            __builtin_trap();
    }
}

void exercise(const uint8_t* data, size_t size) {
    NorvaneDb db;
    DbError error;
    if (db_open_memory(data, size, &db, &error) != DB_OK) {
        db_error_message(error);
        return;
    }
    volatile size_t text_bytes = 0;
    for (uint32_t j = 0; j < db.text_count; ++j)
        text_bytes = text_bytes + std::strlen(db_text(&db, j)); // each ends inside the bytes
    uint32_t probes = db.range_count < 64 ? db.range_count : 64;
    ParsedLocation place;
    for (uint32_t i = 0; i < probes; ++i) {
        DbRange r = db_range(&db, i);
        // The parser takes any bytes (it is given UTF-8, but nothing here makes it so).
        parse_location(db_text(&db, r.country_index), db_text(&db, r.area_index), &place);
        check_lookup(db, r.start_ip);
        check_lookup(db, r.end_ip);
        check_lookup(db, r.end_ip + 1);
        check_lookup(db, r.start_ip - 1);
    }
    DbStats stats;
    compute_db_stats(&db, 3, &stats);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    exercise(data, size);

    bool has_magic = size >= db_layout::kMagicSize &&
                     std::memcmp(data, db_layout::kMagic, db_layout::kMagicSize) == 0;
    size_t prefix =
        db_layout::traits(has_magic ? db_layout::kFormatNew : db_layout::kFormatOld).prefix_size;
    if (size < prefix)
        return 0;
    std::vector<uint8_t> fixed(data, data + size);
    md5_digest(fixed.data() + prefix, size - prefix,
               fixed.data() + prefix - db_layout::kDigestSize);
    exercise(fixed.data(), fixed.size());
    return 0;
}
