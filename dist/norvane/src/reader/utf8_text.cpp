#include "reader/utf8_text.h"

#include <cstdint>

namespace {

bool is_continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

size_t utf8_char_length(std::string_view text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return 1;
    size_t length;
    uint32_t value, least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char byte = static_cast<unsigned char>(text[at + k]);
        if (!is_continuation(byte))
            return 0;
        value = value << 6 | (byte & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

void append_valid_utf8(std::string_view text, std::string* out) {
    size_t at = 0;
    while (at < text.size()) {
        // Runs of ASCII and valid characters are copied whole.
        size_t run = at;
        size_t length;
        while (run < text.size() && (length = utf8_char_length(text, run)) != 0)
            run += length;
        out->append(text.data() + at, run - at);
        if (run < text.size()) {
            out->append("\xEF\xBF\xBD");
            ++run;
        }
        at = run;
    }
}
