// Structured locations of a database's ranges, each text parsed once: the country fields depend
// on the country text alone and the ISP on the area text alone.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "reader/db_reader.h"
#include "reader/location_parser.h"
#include "query/text_printer.h"

struct PlaceCache {
    std::unordered_map<uint32_t, ParsedLocation> countries; // by text index; isp unused
    std::unordered_map<uint32_t, std::string> isps;         // by text index
};

// The fields of range (its texts in UTF-8 through printer, which must not be raw).
void place_of(PlaceCache* cache, TextPrinter* printer, const DbRange& range, ParsedLocation* out);
