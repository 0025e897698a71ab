#include "convert/range_merge.h"

#include <cstring>

#include "common/db_layout.h"

namespace {

constexpr uint32_t kSentinel = 0xFFFFFFFFu;

bool same_text(const char* a, const char* b) {
    return a == b || std::strcmp(a, b) == 0;
}

// An index the layout can't name (the old layout's 16-bit indexes stop below 0xFFFF).
bool over_limit(const db_layout::LayoutTraits& layout, int32_t index) {
    return uint32_t(index) >= layout.text_limit;
}

// Texts reached through shared redirects come back as the same pointer again and again. While the
// merge runs the texts never change, so a pointer once interned can skip the table: a small
// two-way set-associative memo of pointer -> index (8 MB). Without memory for it the merge runs
// without it.
constexpr uint32_t kMaxMemoSets = 1u << 18;

// Sets for a source of record_count records: the next power of two, at most kMaxMemoSets (small
// sources get a small memo).
uint32_t memo_sets(int32_t record_count) {
    uint32_t sets = 64;
    while (sets < kMaxMemoSets && sets < uint32_t(record_count))
        sets *= 2;
    return sets;
}

struct MemoSlot {
    const char* text;
    int32_t index;
};

struct MemoSet {
    MemoSlot way[2]; // way[0] is the more recently stored
};

int32_t intern_memoized(LocationTable* table, MemoSet* memo, uint32_t sets, const char* text) {
    if (memo == nullptr)
        return intern_location(table, text);
    uint64_t h = uint64_t(reinterpret_cast<uintptr_t>(text)) * 0x9E3779B97F4A7C15ull;
    MemoSet& set = memo[uint32_t(h >> 32) & (sets - 1)];
    if (set.way[0].text == text)
        return set.way[0].index;
    if (set.way[1].text == text)
        return set.way[1].index;
    int32_t index = intern_location(table, text);
    if (index >= 0) {
        set.way[1] = set.way[0];
        set.way[0] = MemoSlot{text, index};
    }
    return index;
}

MergeStatus intern_failure(int32_t result) {
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
                         LocationTable* table, int32_t* kept_count) {
    int32_t kept = 0;
    MergeStatus status = MERGE_OK;
    const db_layout::LayoutTraits& layout = db_layout::traits(format_version);
    uint32_t sets = memo_sets(record_count);
    MallocArray<MemoSet> memo = calloc_array<MemoSet>(sets);
    for (int32_t i = 0; i < record_count; ++i) {
        const RangeRecord r = records[i];
        if (r.start_ip == kSentinel || r.end_ip == kSentinel)
            continue;

        if (kept > 0) {
            RangeRecord* last = &records[kept - 1];
            // Continuation: joined only when it follows on directly and carries the same texts.
            if (r.start_ip == last->end_ip + 1u && same_text(r.area_text, last->area_text) &&
                same_text(r.country_text, last->country_text)) {
                last->end_ip = r.end_ip;
                continue;
            }
            // Starts inside the last kept range: dropped whole, whatever its end.
            if (r.start_ip <= last->end_ip && r.start_ip >= last->start_ip)
                continue;
        }

        RangeRecord* out = &records[kept];
        *out = r;
        int32_t country = intern_memoized(table, memo.get(), sets, r.country_text);
        if (country < 0) {
            status = intern_failure(country);
            break;
        }
        if (over_limit(layout, country))
            continue;
        int32_t area = intern_memoized(table, memo.get(), sets, r.area_text);
        if (area < 0) {
            status = intern_failure(area);
            break;
        }
        if (over_limit(layout, area))
            continue;
        out->country_index = country;
        out->area_index = area;
        ++kept;
    }
    *kept_count = kept;
    return status;
}
