// The hash both text tables use: of a text's bytes (not its zero byte), eight bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint32_t hash_text(const char* text, size_t length) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ length;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, text + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    // The last bytes: a text of eight bytes or more ends with the eight before its zero byte (a
    // fixed-size load; a load of the leftover length would be a library call and a stall).
    uint64_t tail = 0;
    if (length >= 8) {
        std::memcpy(&tail, text + length - 8, 8);
    } else {
        for (; i < length; ++i)
            tail |= uint64_t(uint8_t(text[i])) << (8 * i);
    }
    // Texts often differ only in their last bytes: every bit is mixed into the low ones, which
    // pick the slot.
    h ^= tail;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return uint32_t(h);
}
