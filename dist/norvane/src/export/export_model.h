// What every export writes, taken from an opened database once: the ranges as lookups see them
// (disjoint and ascending; where ranges overlap, the part a lookup gives to the first of them in
// file order) and each distinct location once, its texts in UTF-8 and parsed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/db_reader.h"
#include "reader/location_parser.h"

struct ExportLocation {
    std::string raw_country; // the range's two texts, decoded to UTF-8
    std::string raw_area;
    ParsedLocation parsed;
};

struct ExportRange {
    uint32_t start_ip;
    uint32_t end_ip;   // inclusive
    uint32_t location; // index into locations
};

struct ExportModel {
    std::vector<ExportRange> ranges;
    std::vector<ExportLocation> locations; // in order of first use
};

// Fills model from db. False when the platform can't decode the database's texts.
bool build_export_model(const NorvaneDb* db, ExportModel* model);
