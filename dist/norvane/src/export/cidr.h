// A range of IPv4 addresses as the fewest CIDR blocks: from its start, each time the largest
// block that starts there (its size is the start's lowest set bit, or the whole space for 0)
// and does not pass the end.
#pragma once

#include <cstdint>
#include <string>

struct CidrBlock {
    uint32_t base;
    uint32_t prefix_length; // 0 to 32
};

// The first block of [start, end] (start <= end).
inline CidrBlock first_cidr_block(uint32_t start, uint32_t end) {
    uint64_t span = uint64_t(end) - start + 1; // 1 to 2^32
    uint32_t aligned = start == 0 ? 32 : uint32_t(__builtin_ctz(start));
    uint32_t fits = uint32_t(63 - __builtin_clzll(span)); // log2 of the largest power in span
    return {start, 32 - (aligned < fits ? aligned : fits)};
}

// Calls visit(block) for each block of [start, end] (start <= end), ascending.
template <typename Visit> void for_each_cidr_block(uint32_t start, uint32_t end, Visit&& visit) {
    uint64_t at = start;
    while (at <= end) {
        CidrBlock block = first_cidr_block(uint32_t(at), end);
        visit(block);
        at += uint64_t(1) << (32 - block.prefix_length);
    }
}

// "a.b.c.d/n".
std::string cidr_text(const CidrBlock& block);
