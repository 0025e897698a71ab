#include "convert/range_merge.h"

#include <cstring>

#include "common/db_layout.h"

namespace {

constexpr uint32_t kSentinel = 0xFFFFFFFFu;

// An index the layout can't name (the old layout's 16-bit indexes stop below 0xFFFF).
bool over_limit(const db_layout::LayoutTraits& layout, int32_t index) {
    return uint32_t(index) >= layout.text_limit;
}

// Texts reached through shared redirects come back as the same pointer again and again. While the
// merge runs the texts never change, so a pointer once interned can skip the table: a memo of
// pointer -> index, open addressing, grown to stay at most half full. It starts small and grows
// with the distinct pointers (not the records), so that it stays in the cache; without memory to
// grow it the merge goes on through the table alone.
struct MemoSlot {
    const char* text; // null: free
    int32_t index;
};

struct PointerMemo {
    MallocArray<MemoSlot> slots;
    uint32_t mask = 0;
    uint32_t used = 0;
};

constexpr uint32_t kInitialMemoSlots = 1u << 12;

uint32_t memo_slot(const char* text, uint32_t mask) {
    uint64_t h = uint64_t(reinterpret_cast<uintptr_t>(text)) * 0x9E3779B97F4A7C15ull;
    return uint32_t(h >> 32) & mask;
}

bool memo_init(PointerMemo* memo, uint32_t slot_count) {
    memo->slots = calloc_array<MemoSlot>(slot_count);
    memo->mask = memo->slots ? slot_count - 1 : 0;
    memo->used = 0;
    return bool(memo->slots);
}

void memo_grow(PointerMemo* memo) {
    PointerMemo bigger;
    if (memo->mask >= (1u << 30) || !memo_init(&bigger, (memo->mask + 1) * 2))
        return; // stays as it is: lookups still work, new pointers go unremembered
    for (uint32_t s = 0; s <= memo->mask; ++s) {
        const MemoSlot& old = memo->slots[s];
        if (old.text == nullptr)
            continue;
        uint32_t t = memo_slot(old.text, bigger.mask);
        while (bigger.slots[t].text != nullptr)
            t = (t + 1) & bigger.mask;
        bigger.slots[t] = old;
    }
    bigger.used = memo->used;
    *memo = std::move(bigger);
}

int32_t intern_memoized(LocationTable* table, PointerMemo* memo, const char* text) {
    if (!memo->slots)
        return intern_location(table, text);
    uint32_t s = memo_slot(text, memo->mask);
    for (; memo->slots[s].text != nullptr; s = (s + 1) & memo->mask)
        if (memo->slots[s].text == text)
            return memo->slots[s].index;
    int32_t known = table->location_count;
    int32_t index = intern_location(table, text);
    // Only a pointer that brought a new text is remembered. One whose bytes were met before is
    // mostly a text written out again inside a record, met once: remembering those would grow
    // the memo out of the cache for nothing.
    if (index >= known && text != nullptr &&
        uint64_t(memo->used + 1) * 2 <= uint64_t(memo->mask) + 1) {
        memo->slots[s] = MemoSlot{text, index};
        if (uint64_t(++memo->used) * 2 > uint64_t(memo->mask))
            memo_grow(memo);
    }
    return index;
}

// The memo is too large to stay in the cache, and its slots are met in no order: the slots of
// the records a little ahead are asked for early, so that their misses overlap instead of
// stalling the merge one at a time.
constexpr int32_t kPrefetchDistance = 16;

void prefetch_memo(const PointerMemo& memo, const RangeRecord& ahead) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(&memo.slots[memo_slot(ahead.country_text, memo.mask)]);
    __builtin_prefetch(&memo.slots[memo_slot(ahead.area_text, memo.mask)]);
#else
    (void)memo;
    (void)ahead;
#endif
}

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
                         LocationTable* table, int32_t* kept_count) {
    int32_t kept = 0;
    const db_layout::LayoutTraits& layout = db_layout::traits(format_version);
    PointerMemo memo;
    memo_init(&memo, kInitialMemoSlots);
    constexpr int32_t kNotInterned = INT32_MIN;
    for (int32_t i = 0; i < record_count; ++i) {
        if (memo.slots && i + kPrefetchDistance < record_count)
            prefetch_memo(memo, records[i + kPrefetchDistance]);
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
                country = intern_memoized(table, &memo, r.country_text);
                if (country < 0)
                    return fail(country, kept, kept_count);
                if (country == last->country_index) {
                    area = intern_memoized(table, &memo, r.area_text);
                    if (area < 0)
                        return fail(area, kept, kept_count);
                    if (area == last->area_index) {
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
            country = intern_memoized(table, &memo, r.country_text);
            if (country < 0)
                return fail(country, kept, kept_count);
        }
        if (over_limit(layout, country))
            continue;
        if (area == kNotInterned) {
            area = intern_memoized(table, &memo, r.area_text);
            if (area < 0)
                return fail(area, kept, kept_count);
        }
        if (over_limit(layout, area))
            continue;
        RangeRecord* out = &records[kept];
        *out = r;
        out->country_index = country;
        out->area_index = area;
        ++kept;
    }
    *kept_count = kept;
    return MERGE_OK;
}
