// UTF-8 by characters: the length of the character at a position, and any bytes made valid
// UTF-8 (every byte that starts no valid character becomes U+FFFD). Overlong forms, surrogates
// and values past U+10FFFF count as invalid, as RFC 3629 has it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Bytes of the valid character starting at text[at] (1 to 4), or 0 when the byte there starts
// none. at < text.size().
size_t utf8_char_length(std::string_view text, size_t at);

// Appends text to out, each invalid byte replaced by U+FFFD.
void append_valid_utf8(std::string_view text, std::string* out);
