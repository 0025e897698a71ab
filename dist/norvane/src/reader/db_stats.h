// Figures about a database for norvane-query stats: coverage of the address space, text usage
// and the longest texts.
#pragma once

#include <cstdint>
#include <vector>

#include "reader/db_reader.h"

struct DbStats {
    uint64_t covered_addresses; // addresses inside at least one range
    uint32_t empty_ranges;      // ranges whose end lies below their start
    uint32_t used_texts;        // texts that some range names as country or area
    uint32_t distinct_countries;
    uint32_t distinct_areas;
    std::vector<uint32_t> longest_texts; // text indexes, longest first (ties: lower index first)
};

// longest_count: how many of the longest texts to list. False when memory ran out.
bool compute_db_stats(const NorvaneDb* db, uint32_t longest_count, DbStats* stats);
