// Turns texts from the databases' code page (GBK for real databases; decoded as GB18030, its
// superset) into UTF-8: iconv where the C library has it, the Win32 code page API on Windows.
// Where Windows lacks the GB18030 code page (Wine, for one) GBK's code page 936 is used: it
// covers every text of a GBK database, and GB18030's four-byte characters become U+FFFD.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct DecoderCloser {
    void operator()(void* handle) const;
};

// Releases its conversion descriptor when destroyed.
struct TextDecoder {
    std::unique_ptr<void, DecoderCloser> handle; // the iconv descriptor; unused on Windows
    unsigned code_page = 0; // Windows: 54936 (GB18030) or 936 (GBK); unused elsewhere
    bool four_byte = false; // GB18030's four-byte characters are decoded
};

// False when the platform can't convert from GB18030.
bool text_decoder_open(TextDecoder* decoder);

// Appends the UTF-8 form of text to out. A byte that starts no valid character becomes U+FFFD
// and decoding goes on after it; so does a whole four-byte character when four_byte is false.
void decode_to_utf8(TextDecoder* decoder, const char* text, size_t length, std::string* out);
