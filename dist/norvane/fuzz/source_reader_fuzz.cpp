// libFuzzer target: any bytes as a source database. The reader must either refuse them or build
// records whose texts lie inside the image; the merge and the table must cope with whatever it
// built.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/db_layout.h"
#include "convert/location_table.h"
#include "convert/range_merge.h"
#include "convert/source_reader.h"

namespace {

bool inside(const SourceDatabase& db, const char* text) {
    const char* begin = reinterpret_cast<const char*>(db.image.get());
    return text == empty_text || (text >= begin && text < begin + db.source_size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SourceDatabase db;
    if (load_source_from_memory(data, size, &db) != LOAD_OK)
        return 0;
    for (int32_t i = 0; i < db.record_count; ++i) {
        const RangeRecord& r = db.records[i];
        if (!inside(db, r.country_text) || !inside(db, r.area_text))
            __builtin_trap();
        // Reading the whole text must stay inside the image (ASan checks it).
        volatile size_t n = std::strlen(r.country_text) + std::strlen(r.area_text);
        (void)n;
    }
    LocationTable table;
    if (location_table_init(&table, 1 << 12) == 0) {
        int32_t kept = 0;
        merge_ranges(db.records.get(), db.record_count,
                     size % 2 ? db_layout::kFormatOld : db_layout::kFormatNew, &table, &kept);
    }
    return 0;
}
