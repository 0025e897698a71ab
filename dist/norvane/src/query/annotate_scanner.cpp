#include "query/annotate_scanner.h"

#include <cstring>

namespace {

enum ByteClass : uint8_t { OTHER = 0, WORD = 1, DIGIT = 2 }; // WORD: ASCII letter or dot

struct ClassTable {
    uint8_t of[256];
    constexpr ClassTable() : of() {
        for (int c = 'a'; c <= 'z'; ++c)
            of[c] = WORD;
        for (int c = 'A'; c <= 'Z'; ++c)
            of[c] = WORD;
        of[int('.')] = WORD;
        for (int c = '0'; c <= '9'; ++c)
            of[c] = DIGIT;
    }
};
constexpr ClassTable kClass;

inline uint8_t class_of(char c) { return kClass.of[uint8_t(c)]; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

enum MatchKind { MATCH_NONE, MATCH_ADDRESS, MATCH_NEED_MORE };

struct Match {
    MatchKind kind;
    size_t length;
    uint32_t address;
};

// Reads an address at p (a digit whose predecessor is no letter, digit or dot). With `final`
// the input ends after n bytes; otherwise running out of bytes means "can't tell yet".
Match match_address(const char* p, size_t n, bool final) {
    const Match none = {MATCH_NONE, 0, 0};
    const Match more = {final ? MATCH_NONE : MATCH_NEED_MORE, 0, 0};
    uint32_t address = 0;
    size_t pos = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (pos >= n)
                return more;
            if (p[pos] != '.')
                return none;
            ++pos;
        }
        if (pos >= n)
            return more;
        if (!is_digit(p[pos]))
            return none;
        uint32_t part = uint32_t(p[pos] - '0');
        ++pos;
        // A leading 0 stands alone: a digit after it fails at the dot or the end check.
        for (int digits = 1; part != 0 && digits < 3; ++digits) {
            if (pos >= n) {
                if (!final)
                    return more;
                break;
            }
            if (!is_digit(p[pos]))
                break;
            part = part * 10 + uint32_t(p[pos] - '0');
            ++pos;
        }
        if (part > 255)
            return none;
        address = address << 8 | part;
    }
    // What follows: no letter or digit, and no dot that a digit follows.
    if (pos < n) {
        char next = p[pos];
        if (class_of(next) == DIGIT || (class_of(next) == WORD && next != '.'))
            return none;
        if (next == '.') {
            if (pos + 1 >= n) {
                if (!final)
                    return more;
            } else if (is_digit(p[pos + 1])) {
                return none;
            }
        }
    } else if (!final) {
        return more;
    }
    return {MATCH_ADDRESS, pos, address};
}

// Appends the annotated form of data to out up to the first address it can't decide yet, and
// returns how many bytes that covered (all of them when `final`).
size_t scan(AnnotateScanner* s, const char* data, size_t size, bool final, std::string* out) {
    bool after_word = s->after_word;
    size_t copied = 0; // data[0, copied) is in out
    size_t i = 0;
    while (i < size) {
        // Two tight loops over the bytes between the places where an address can start: the
        // rest of a word, then the gap up to the next word.
        if (after_word) {
            while (i < size && class_of(data[i]) != OTHER)
                ++i;
            if (i == size)
                break;
            after_word = false;
        }
        while (i < size && class_of(data[i]) == OTHER)
            ++i;
        if (i == size)
            break;
        if (class_of(data[i]) != DIGIT) {
            after_word = true;
            ++i;
            continue;
        }
        Match m = match_address(data + i, size - i, final);
        if (m.kind == MATCH_NEED_MORE) {
            out->append(data + copied, i - copied);
            s->after_word = after_word;
            return i;
        }
        if (m.kind == MATCH_ADDRESS) {
            const char* note;
            size_t note_size;
            if (s->lookup(s->context, m.address, &note, &note_size)) {
                out->append(data + copied, i + m.length - copied);
                out->append(note, note_size);
                copied = i + m.length;
            }
            i += m.length;
        } else {
            ++i;
        }
        after_word = true;
    }
    out->append(data + copied, size - copied);
    s->after_word = after_word;
    return size;
}

void hold(AnnotateScanner* s, const char* data, size_t size) {
    std::memcpy(s->held, data, size);
    s->held_size = size;
}

} // namespace

void annotate_begin(AnnotateScanner* scanner, AnnotateLookup lookup, void* context) {
    scanner->lookup = lookup;
    scanner->context = context;
    scanner->after_word = false;
    scanner->held_size = 0;
}

void annotate_feed(AnnotateScanner* s, const char* data, size_t size, std::string* out) {
    if (s->held_size > 0) {
        // Decide the held-back address with the start of this chunk: it ends within
        // kAnnotateLookahead bytes of its first digit.
        char joined[2 * kAnnotateLookahead];
        size_t held = s->held_size;
        size_t take = size < kAnnotateLookahead ? size : kAnnotateLookahead;
        std::memcpy(joined, s->held, held);
        std::memcpy(joined + held, data, take);
        s->held_size = 0;
        size_t used = scan(s, joined, held + take, false, out);
        if (used < held) {
            // Still undecided, so this chunk was shorter than the lookahead and is all in joined.
            hold(s, joined + used, held + take - used);
            return;
        }
        // The scan covered part of this chunk too; go on from where it stopped.
        data += used - held;
        size -= used - held;
    }
    size_t used = scan(s, data, size, false, out);
    hold(s, data + used, size - used);
}

void annotate_end(AnnotateScanner* s, std::string* out) {
    scan(s, s->held, s->held_size, true, out);
    s->held_size = 0;
    s->after_word = false;
}
