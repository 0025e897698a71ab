#include "convert/range_merge.h"

#include <cstring>

#include "common/db_layout.h"

namespace {

constexpr uint32_t kSentinel = 0xFFFFFFFFu;

// An index the layout can't name (the old layout's 16-bit indexes stop below 0xFFFF).
bool over_limit(const db_layout::LayoutTraits& layout, int32_t index) {
    return uint32_t(index) >= layout.text_limit;
}

// Where the merge gets a text's LocationTable index. With labels (the driver's way) every text
// field holds a label, and each label's text is appended to the table when first met: one array
// look-up per text, and the table is never searched. Without labels a text field holds the text's
// position in the image, and the text is interned by its bytes.
struct Interner {
    LocationTable* table;
    const uint8_t* image;
    const TextLabels* labels;      // null: intern by bytes
    MallocArray<int32_t> index_of; // per label: its LocationTable index, or -1
};

int32_t intern_text(Interner* in, uint32_t field) {
    if (in->labels == nullptr)
        return intern_location(in->table, source_text(in->image, field));
    int32_t& index = in->index_of[field];
    if (index < 0)
        index = append_location(in->table, source_text(in->image, in->labels->first_at[field]),
                                in->labels->lengths[field]);
    return index;
}

constexpr int32_t kAhead = 16;

// A text could not be interned: the kept ranges so far stand, the status says why.
MergeStatus fail(int32_t result, int32_t kept, int32_t* kept_count) {
    *kept_count = kept;
    switch (result) {
    case INTERN_TABLE_FULL:
        return MERGE_TABLE_FULL;
    case INTERN_AREA_FULL:
        return MERGE_TOO_LARGE;
    default:
        return MERGE_OUT_OF_MEMORY;
    }
}

} // namespace

MergeStatus merge_ranges(RangeRecord* records, int32_t record_count, int32_t format_version,
                         const uint8_t* image, const TextLabels* labels, LocationTable* table,
                         int32_t* kept_count) {
    *kept_count = 0;
    Interner in{table, image, labels, nullptr};
    if (labels != nullptr) {
        in.index_of = malloc_array<int32_t>(size_t(labels->label_count));
        if (!in.index_of)
            return MERGE_OUT_OF_MEMORY;
        std::memset(in.index_of.get(), 0xFF, size_t(labels->label_count) * sizeof(int32_t));
        reserve_locations(table, labels->label_count); // else the table grows as it goes
    }
    int32_t kept = 0;
    const db_layout::LayoutTraits& layout = db_layout::traits(format_version);
    constexpr int32_t kNotInterned = INT32_MIN;
    for (int32_t i = 0; i < record_count; ++i) {
        if (labels != nullptr && i + kAhead < record_count) {
            // The labels' slots are met in no order: asked for ahead of their use.
            prefetch_read(&in.index_of[records[i + kAhead].country]);
            prefetch_read(&in.index_of[records[i + kAhead].area]);
        }
        const RangeRecord r = records[i];
        if (r.start_ip == kSentinel || r.end_ip == kSentinel)
            continue;

        int32_t country = kNotInterned, area = kNotInterned;
        if (kept > 0) {
            RangeRecord* last = &records[kept - 1];
            if (r.start_ip == last->end_ip + 1u) {
                // Continuation: joined only when it carries the same texts. Interned texts
                // compare by index (the table holds each text once), and interning them now is
                // what keeping the range would do first. (A kept range never ends at the
                // sentinel, so the continuation can't start inside it.)
                country = intern_text(&in, r.country);
                if (country < 0)
                    return fail(country, kept, kept_count);
                if (uint32_t(country) == last->country) {
                    area = intern_text(&in, r.area);
                    if (area < 0)
                        return fail(area, kept, kept_count);
                    if (uint32_t(area) == last->area) {
                        last->end_ip = r.end_ip;
                        continue;
                    }
                }
            } else if (r.start_ip <= last->end_ip && r.start_ip >= last->start_ip) {
                // Starts inside the last kept range: dropped whole, whatever its end.
                continue;
            }
        }

        if (country == kNotInterned) {
            country = intern_text(&in, r.country);
            if (country < 0)
                return fail(country, kept, kept_count);
        }
        if (over_limit(layout, country))
            continue;
        if (area == kNotInterned) {
            area = intern_text(&in, r.area);
            if (area < 0)
                return fail(area, kept, kept_count);
        }
        if (over_limit(layout, area))
            continue;
        records[kept] = RangeRecord{r.start_ip, r.end_ip, uint32_t(country), uint32_t(area)};
        ++kept;
    }
    *kept_count = kept;
    return MERGE_OK;
}

MergeStatus merge_source_ranges(SourceDatabase* db, int32_t format_version, LocationTable* table,
                                int32_t* kept_count) {
    TextLabels labels;
    bool labelled = label_texts(db->records.get(), db->record_count, db->image.get(),
                                uint32_t(db->source_size), &labels) == LABEL_OK;
    return merge_ranges(db->records.get(), db->record_count, format_version, db->image.get(),
                        labelled ? &labels : nullptr, table, kept_count);
}
