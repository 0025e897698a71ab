// JSON strings (RFC 8259) for output lines: quoted, with '"' and '\' escaped and control
// characters as \u00XX; UTF-8 passes through as it is, and every byte that starts no valid
// UTF-8 character becomes U+FFFD, so that any bytes give valid JSON.
#pragma once

#include <string>
#include <string_view>

void append_json_string(std::string* out, std::string_view text);
