// What every export writes, taken from an opened database once: the ranges as lookups see them
// (disjoint and ascending; where ranges overlap, the part a lookup gives to the first of them in
// file order) and each distinct location once, its texts in UTF-8 and parsed. Every distinct
// text (raw or parsed) is kept once, and locations refer to texts by number, so that a database
// of many locations stays small in memory and each text is encoded once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/db_reader.h"

// A location's fields, in the order of the CSV columns.
enum ExportField {
    FIELD_COUNTRY_CODE = 0,
    FIELD_COUNTRY,
    FIELD_PROVINCE,
    FIELD_CITY,
    FIELD_DISTRICT,
    FIELD_ISP,
    FIELD_RAW_COUNTRY, // the range's two texts, decoded to UTF-8
    FIELD_RAW_AREA,
    FIELD_COUNT,
};

struct ExportLocation {
    uint32_t text[FIELD_COUNT]; // numbers into ExportModel::texts; 0 is the empty text
};

struct ExportRange {
    uint32_t start_ip;
    uint32_t end_ip;   // inclusive
    uint32_t location; // index into locations
};

struct ExportModel {
    std::vector<ExportRange> ranges;
    std::vector<ExportLocation> locations; // in order of first use
    std::vector<std::string> texts;        // each distinct text once; texts[0] is ""
};

inline const std::string& field_text(const ExportModel& model, const ExportLocation& location,
                                     ExportField field) {
    return model.texts[location.text[field]];
}

// Fills model from db. False when the platform can't decode the database's texts.
bool build_export_model(const NorvaneDb* db, ExportModel* model);
