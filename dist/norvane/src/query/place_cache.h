// Structured locations of a database's ranges, each distinct pair of texts parsed once.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "reader/db_reader.h"
#include "reader/location_parser.h"
#include "query/text_printer.h"

struct PlaceCache {
    std::unordered_map<uint64_t, ParsedLocation> by_texts; // key: country index, area index
};

// The fields of range (its texts in UTF-8 through printer, which must not be raw).
const ParsedLocation& place_of(PlaceCache* cache, TextPrinter* printer, const DbRange& range);
