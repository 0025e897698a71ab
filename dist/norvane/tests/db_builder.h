// Builds converted databases in memory for the reader's tests, straight from ranges and texts:
// valid files of either layout, and the starting point for damaged ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestRange {
    uint32_t start_ip;
    uint32_t end_ip;
    uint32_t country_index;
    uint32_t area_index;
};

// The final file: magic (layout 2), digest, body. Texts are written back to back with their
// offsets in order; indexes are written as given (the old layout keeps their low 16 bits).
std::vector<uint8_t> build_db(int32_t format_version, const std::vector<TestRange>& ranges,
                              const std::vector<std::string>& texts);

// A range with its texts spelled out.
struct TextRange {
    uint32_t start_ip;
    uint32_t end_ip;
    std::string country;
    std::string area;
};

// Same, with texts given per range; each distinct text is stored once, in order of first use.
std::vector<uint8_t> build_db_from_texts(int32_t format_version,
                                         const std::vector<TextRange>& ranges);

// Where the body starts in a file made by build_db.
size_t body_offset(const std::vector<uint8_t>& file);

// Recomputes the stored digest after a test changed the body.
void restamp_digest(std::vector<uint8_t>* file);
