#include "query/json_writer.h"

#include "reader/utf8_text.h"

void append_json_string(std::string* out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out->push_back('"');
    size_t at = 0;
    while (at < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(char(c));
            ++at;
        } else if (c < 0x20) {
            out->append("\\u00");
            out->push_back(kHex[c >> 4]);
            out->push_back(kHex[c & 0xF]);
            ++at;
        } else {
            size_t length = utf8_char_length(text, at);
            if (length == 0) {
                out->append("\xEF\xBF\xBD");
                length = 1;
            } else {
                out->append(text.data() + at, length);
            }
            at += length;
        }
    }
    out->push_back('"');
}
