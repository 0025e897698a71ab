// libFuzzer target: any bytes as a source database. The reader must either refuse them or build
// records whose texts lie inside the image; the merge and the table must cope with whatever it
// built, and merging with the texts' labels must give what interning their bytes gives.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/db_layout.h"
#include "convert/location_table.h"
#include "convert/range_merge.h"
#include "convert/source_reader.h"

namespace {

bool inside(const SourceDatabase& db, uint32_t at) {
    return at == kEmptyTextAt || at < uint32_t(db.source_size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SourceDatabase db;
    if (load_source_from_memory(data, size, &db) != LOAD_OK)
        return 0;
    for (int32_t i = 0; i < db.record_count; ++i) {
        const RangeRecord& r = db.records[i];
        if (!inside(db, r.country) || !inside(db, r.area))
            __builtin_trap();
        // Reading the whole text must stay inside the image (ASan checks it).
        volatile size_t n = std::strlen(source_text(db.image.get(), r.country)) +
                            std::strlen(source_text(db.image.get(), r.area));
        (void)n;
    }
    int32_t format = size % 2 ? db_layout::kFormatOld : db_layout::kFormatNew;
    std::vector<RangeRecord> plain(db.records.get(), db.records.get() + db.record_count);
    LocationTable by_bytes, by_labels;
    if (location_table_init(&by_bytes, 1 << 12) != 0 ||
        location_table_init(&by_labels, 1 << 12) != 0)
        return 0;
    int32_t kept_plain = 0, kept = 0;
    MergeStatus plain_status = merge_ranges(plain.data(), db.record_count, format, db.image.get(),
                                            nullptr, &by_bytes, &kept_plain);
    MergeStatus status = merge_source_ranges(&db, format, &by_labels, &kept);
    if (status != plain_status || kept != kept_plain ||
        by_labels.location_count != by_bytes.location_count)
        __builtin_trap();
    for (int32_t i = 0; i < kept; ++i) {
        const RangeRecord& a = plain[size_t(i)];
        const RangeRecord& b = db.records[i];
        if (a.start_ip != b.start_ip || a.end_ip != b.end_ip || a.country != b.country ||
            a.area != b.area)
            __builtin_trap();
    }
    for (int32_t j = 0; j < by_labels.location_count; ++j)
        if (std::strcmp(by_labels.entries[j].text, by_bytes.entries[j].text) != 0 ||
            by_labels.entries[j].end_offset != by_bytes.entries[j].end_offset)
            __builtin_trap();
    return 0;
}
