// A plain whole-text scanner for the annotate rules, written independently of the streaming
// one: it tries every position, reads maximal digit runs and checks the rules one by one.
// Used by the tests and the fuzz target as the oracle.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

inline bool reference_is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool reference_is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Returns the text with note(address) inserted after every address; note returns "" for none.
inline std::string reference_annotate(const std::string& text,
                                      const std::function<std::string(uint32_t)>& note) {
    std::string out;
    size_t n = text.size();
    size_t p = 0;
    while (p < n) {
        bool starts = p == 0 || !(reference_is_letter(text[p - 1]) ||
                                  reference_is_digit(text[p - 1]) || text[p - 1] == '.');
        size_t q = p;
        uint32_t address = 0;
        bool ok = starts;
        for (int octet = 0; ok && octet < 4; ++octet) {
            if (octet > 0) {
                ok = q < n && text[q] == '.';
                ++q;
                if (!ok)
                    break;
            }
            size_t begin = q;
            while (q < n && reference_is_digit(text[q]))
                ++q;
            std::string digits = text.substr(begin, q - begin);
            ok = !digits.empty() && digits.size() <= 3 && (digits == "0" || digits[0] != '0') &&
                 std::stoi(digits) <= 255;
            if (ok)
                address = address << 8 | uint32_t(std::stoi(digits));
        }
        if (ok && q < n) {
            ok = !reference_is_letter(text[q]) &&
                 !(text[q] == '.' && q + 1 < n && reference_is_digit(text[q + 1]));
        }
        if (ok) {
            out.append(text, p, q - p);
            out += note(address);
            p = q;
        } else {
            out += text[p];
            ++p;
        }
    }
    return out;
}
