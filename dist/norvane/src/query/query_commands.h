// The commands of norvane-query, run on a database that opened and validated. Each writes its
// results to out and returns the process exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "reader/db_reader.h"
#include "query/text_printer.h"

// One line per address: the address, country and area, tab-separated, or "not found".
// Addresses come from `addresses` (already checked), or from `in`, one per line, when that is
// not null: every input line gets exactly one answer, in order ("not an IPv4 address" for a
// line that is not one, an empty or overlong line included). With json, each answer is
// {"ip": ..., "found": true, "country_code": ..., ..., "raw_country": ..., "raw_area": ...},
// {"ip": ..., "found": false} or {"ip": <the line>, "error": "not an IPv4 address"}; the
// printer must then give UTF-8.
// Returns 1 when an address was not found or a line was not an address.
struct LookupStyle {
    bool json = false;          // one JSON object per answer, with the structured location
    bool line_buffered = false; // flush each answer
};
int query_lookup(const NorvaneDb* db, TextPrinter* printer, const std::vector<uint32_t>& addresses,
                 std::FILE* in, const LookupStyle& style, std::FILE* out);

int query_verify(const NorvaneDb* db, const char* path, std::FILE* out);

// Every range in file order: start, end, country, area; tab-separated, or CSV with a header.
int query_dump(const NorvaneDb* db, TextPrinter* printer, bool csv, std::FILE* out);

int query_stats(const NorvaneDb* db, TextPrinter* printer, std::FILE* out);
