// norvane-query annotate: copies files (or standard input) to standard output with the location
// of every IPv4 address inserted after it, as " [country area]".
#pragma once

#include <string>
#include <vector>

#include "query/text_printer.h"
#include "reader/db_reader.h"

// Reads each path in turn ("-" is standard input; none means standard input alone) and writes
// to standard output. Each input is scanned on its own: an address never spans two files.
// A file that can't be read is named on standard error and the others still run. With
// line_buffered, output is written out after every read, so each complete line that came in
// leaves at once. Returns the exit status: 0, or 1 when an input or the output failed.
int query_annotate(const NorvaneDb* db, TextPrinter* printer, const std::vector<std::string>& paths,
                   bool line_buffered);
