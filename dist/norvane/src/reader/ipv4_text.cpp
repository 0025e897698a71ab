#include "reader/ipv4_text.h"

bool parse_ipv4(const char* text, size_t length, uint32_t* address) {
    uint32_t value = 0;
    size_t pos = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (pos >= length || text[pos] != '.')
                return false;
            ++pos;
        }
        uint32_t part = 0;
        size_t digits = 0;
        while (pos < length && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            part = part * 10 + uint32_t(text[pos] - '0');
            ++pos;
            ++digits;
        }
        // A leading zero ("010") is refused: some tools read such an octet as octal.
        if (digits == 0 || digits > 3 || part > 255 || (digits > 1 && text[pos - digits] == '0'))
            return false;
        value = value << 8 | part;
    }
    if (pos != length)
        return false;
    *address = value;
    return true;
}

size_t format_ipv4(uint32_t address, char out[kIpv4TextSize]) {
    size_t pos = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        uint32_t part = (address >> shift) & 0xFF;
        if (part >= 100)
            out[pos++] = char('0' + part / 100);
        if (part >= 10)
            out[pos++] = char('0' + part / 10 % 10);
        out[pos++] = char('0' + part % 10);
        if (shift > 0)
            out[pos++] = '.';
    }
    out[pos] = '\0';
    return pos;
}
