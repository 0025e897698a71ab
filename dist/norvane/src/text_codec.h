// Turns texts from the databases' code page (GBK for real databases; decoded as GB18030, its
// superset) into UTF-8: iconv where the C library has it, the Win32 code page API on Windows.
#pragma once

#include <cstddef>
#include <string>

struct TextDecoder {
    void* handle; // the iconv descriptor; unused on Windows
};

// False when the platform can't convert from GB18030.
bool text_decoder_open(TextDecoder* decoder);
void text_decoder_close(TextDecoder* decoder);

// Appends the UTF-8 form of text to out. A byte sequence that isn't GB18030 becomes U+FFFD, one
// per byte, and decoding goes on after it.
void decode_to_utf8(TextDecoder* decoder, const char* text, size_t length, std::string* out);
