// Database texts as printed by norvane-query: converted to UTF-8 (each distinct text once) or
// raw, and quoted for CSV.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/db_reader.h"
#include "reader/text_codec.h"

struct TextPrinter {
    const NorvaneDb* db;
    bool raw;
    TextDecoder decoder;
    std::vector<std::string> decoded; // by text index, filled on first use
    std::vector<bool> done;
};

// False when UTF-8 output was asked for and the platform can't decode GB18030.
bool text_printer_open(TextPrinter* printer, const NorvaneDb* db, bool raw);

// Text `index` of the database, ready to print.
const std::string& printable_text(TextPrinter* printer, uint32_t index);

// Appends a database text (zero-terminated, as db_lookup gives it) ready to print, without
// keeping it: for callers with caches of their own.
void append_printable(TextPrinter* printer, const char* text, std::string* out);

// Appends field to line as one CSV field: quoted, with quotes doubled, when it holds a comma,
// a quote or a line break.
void append_csv_field(std::string* line, const std::string& field);
