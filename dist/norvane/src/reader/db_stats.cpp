#include "reader/db_stats.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Size of the union of the ranges: sort them by start, then walk and merge.
uint64_t covered_addresses(const NorvaneDb* db, uint32_t* empty_ranges) {
    std::vector<std::pair<uint32_t, uint32_t>> spans;
    spans.reserve(db->range_count);
    *empty_ranges = 0;
    for (uint32_t i = 0; i < db->range_count; ++i) {
        DbRange range = db_range(db, i);
        if (range.start_ip > range.end_ip)
            ++*empty_ranges;
        else
            spans.push_back({range.start_ip, range.end_ip});
    }
    if (!db->sorted)
        std::sort(spans.begin(), spans.end());
    uint64_t total = 0;
    bool open = false;
    uint64_t run_start = 0, run_end = 0;
    for (const auto& span : spans) {
        if (open && span.first <= run_end + 1) {
            run_end = std::max<uint64_t>(run_end, span.second);
            continue;
        }
        if (open)
            total += run_end - run_start + 1;
        open = true;
        run_start = span.first;
        run_end = span.second;
    }
    if (open)
        total += run_end - run_start + 1;
    return total;
}

} // namespace

namespace {

DbStats gather(const NorvaneDb* db, uint32_t longest_count) {
    DbStats stats;
    stats.covered_addresses = covered_addresses(db, &stats.empty_ranges);

    std::vector<uint8_t> use(db->text_count, 0); // bit 1: country, bit 2: area
    for (uint32_t i = 0; i < db->range_count; ++i) {
        DbRange range = db_range(db, i);
        use[range.country_index] |= 1;
        use[range.area_index] |= 2;
    }
    stats.used_texts = stats.distinct_countries = stats.distinct_areas = 0;
    for (uint8_t u : use) {
        stats.used_texts += u != 0;
        stats.distinct_countries += (u & 1) != 0;
        stats.distinct_areas += (u & 2) != 0;
    }

    std::vector<std::pair<size_t, uint32_t>> lengths; // (length, index)
    lengths.reserve(db->text_count);
    for (uint32_t j = 0; j < db->text_count; ++j)
        lengths.push_back({std::strlen(db_text(db, j)), j});
    size_t keep = std::min<size_t>(longest_count, lengths.size());
    std::partial_sort(
        lengths.begin(), lengths.begin() + std::ptrdiff_t(keep), lengths.end(),
        [](const std::pair<size_t, uint32_t>& a, const std::pair<size_t, uint32_t>& b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        });
    for (size_t k = 0; k < keep; ++k)
        stats.longest_texts.push_back(lengths[k].second);
    return stats;
}

} // namespace

bool compute_db_stats(const NorvaneDb* db, uint32_t longest_count, DbStats* stats) {
    try {
        *stats = gather(db, longest_count);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
