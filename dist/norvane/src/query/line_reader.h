// Input lines, exactly: every byte except the line end belongs to its line (a NUL byte too), a
// last line without a line end counts, and a line longer than kMaxLineBytes keeps only its first
// kMaxLineBytes bytes (the rest is read and dropped, so no line is ever held whole).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

constexpr size_t kMaxLineBytes = 4096;

struct LineReader {
    std::FILE* in = nullptr;
    char buffer[1 << 16];
    size_t begin = 0; // unread bytes are buffer[begin, end)
    size_t end = 0;
    bool at_end = false;
};

void line_reader_init(LineReader* reader, std::FILE* in);

// The next line without its "\n" (nor a "\r" before it); false at the end of the input.
// *overlong tells that the line was longer than kMaxLineBytes and was cut.
bool read_input_line(LineReader* reader, std::string* line, bool* overlong);
