#include "query/annotate_scanner.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

inline uint8_t class_of(char c) {
    return kClass.of[uint8_t(c)];
}
inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

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

// From i on, the first digit that is not preceded by a letter, digit or dot (`after_word`
// tells about the byte before data[i]); size when there is none, with `after_word` then telling
// about the last byte.
size_t next_start_scalar(const char* data, size_t i, size_t size, bool* after_word) {
    bool word = *after_word;
    for (; i < size; ++i) {
        uint8_t c = class_of(data[i]);
        if (c == DIGIT && !word) {
            *after_word = false;
            return i;
        }
        word = c != OTHER;
    }
    *after_word = word;
    return size;
}

#ifdef __SSE2__
// The same sixteen bytes at a time: masks of the digits and of the word bytes, and a start is
// a digit whose predecessor's word bit is clear.
size_t next_start(const char* data, size_t i, size_t size, bool* after_word) {
    const __m128i below_digits = _mm_set1_epi8('0' - 1);
    const __m128i above_digits = _mm_set1_epi8('9' + 1);
    const __m128i below_letters = _mm_set1_epi8('a' - 1);
    const __m128i above_letters = _mm_set1_epi8('z' + 1);
    const __m128i case_bit = _mm_set1_epi8(0x20);
    const __m128i dot = _mm_set1_epi8('.');
    uint32_t carry = *after_word ? 1 : 0;
    for (; i + 16 <= size; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        // Bytes from 0x80 up compare as negative, so they are neither digits nor letters.
        __m128i digit =
            _mm_and_si128(_mm_cmpgt_epi8(v, below_digits), _mm_cmplt_epi8(v, above_digits));
        __m128i lower = _mm_or_si128(v, case_bit);
        __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, below_letters),
                                       _mm_cmplt_epi8(lower, above_letters));
        __m128i word = _mm_or_si128(_mm_or_si128(digit, letter), _mm_cmpeq_epi8(v, dot));
        uint32_t digits = uint32_t(_mm_movemask_epi8(digit));
        uint32_t words = uint32_t(_mm_movemask_epi8(word));
        uint32_t starts = digits & ~(words << 1 | carry);
        if (starts != 0) {
            *after_word = false;
            return i + size_t(__builtin_ctz(starts));
        }
        carry = words >> 15;
    }
    *after_word = carry != 0;
    return next_start_scalar(data, i, size, after_word);
}
#else
size_t next_start(const char* data, size_t i, size_t size, bool* after_word) {
    return next_start_scalar(data, i, size, after_word);
}
#endif

// Appends the annotated form of data to out up to the first address it can't decide yet, and
// returns how many bytes that covered (all of them when `final`).
size_t scan(AnnotateScanner* s, const char* data, size_t size, bool final, std::string* out) {
    bool after_word = s->after_word;
    size_t copied = 0; // data[0, copied) is in out
    size_t i = 0;
    for (;;) {
        i = next_start(data, i, size, &after_word);
        if (i == size)
            break;
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
        // The address or the failed start ended on a digit.
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
