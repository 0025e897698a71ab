// Finds the IPv4 addresses in a stream of arbitrary bytes and copies the stream with a note
// inserted right after each address that the lookup knows. Platform-free; no I/O.
//
// An address is four decimal octets 0-255 without leading zeros, separated by dots, that is not
// preceded by an ASCII letter, a digit or a dot, and not followed by a letter, a digit, or a dot
// that a digit follows. So `1.2.3.4.5`, `v1.2.3.4`, `311.2.3.4` and `01.2.3.4` are left alone,
// while `1.2.3.4:80`, `(1.2.3.4)` and a sentence ending in `1.2.3.4.` are annotated.
//
// The stream may arrive in chunks of any size, split anywhere: the scanner holds back at most
// the 16 bytes of an address whose end it can't see yet. Every other byte (NUL, CR, bytes that
// are not text) is copied unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Where the note for an address comes from: returns false when there is none (the address is
// then copied without one); otherwise points note/size at the bytes to insert, which must stay
// valid until the next call.
using AnnotateLookup = bool (*)(void* context, uint32_t address, const char** note, size_t* size);

// Enough to decide any address: 15 bytes for the longest one, then the two that follow it.
constexpr size_t kAnnotateLookahead = 17;

struct AnnotateScanner {
    AnnotateLookup lookup = nullptr;
    void* context = nullptr;
    bool after_word = false; // the byte before the unscanned input was a letter, digit or dot
    size_t held_size = 0;    // bytes of a possible address at the end of the last chunk
    char held[kAnnotateLookahead] = {};
};

// Starts a new stream (the first byte has nothing before it).
void annotate_begin(AnnotateScanner* scanner, AnnotateLookup lookup, void* context);

// Appends the annotated form of the next chunk to out, except for up to 16 held-back bytes.
void annotate_feed(AnnotateScanner* scanner, const char* data, size_t size, std::string* out);

// Ends the stream: appends what was held back (annotated when it is a whole address).
void annotate_end(AnnotateScanner* scanner, std::string* out);
