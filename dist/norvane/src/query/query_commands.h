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
// line that is not one, an empty or overlong line included). line_buffered flushes each answer.
// Returns 1 when an address was not found or a line was not an address.
int query_lookup(const NorvaneDb* db, TextPrinter* printer, const std::vector<uint32_t>& addresses,
                 std::FILE* in, bool line_buffered, std::FILE* out);

int query_verify(const NorvaneDb* db, const char* path, std::FILE* out);

// Every range in file order: start, end, country, area; tab-separated, or CSV with a header.
int query_dump(const NorvaneDb* db, TextPrinter* printer, bool csv, std::FILE* out);

int query_stats(const NorvaneDb* db, TextPrinter* printer, std::FILE* out);
