#include "reader/text_codec.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace {

const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

bool is_ascii(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    return true;
}

} // namespace

#ifdef _WIN32

namespace {

constexpr UINT kGb18030CodePage = 54936;
constexpr UINT kGbkCodePage = 936;

// Converts one run that the code page accepts whole; false when it doesn't.
bool convert_run(UINT code_page, const char* text, int length, std::string* out) {
    int wide_length =
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (wide_length <= 0)
        return false;
    std::wstring wide(size_t(wide_length), L'\0');
    MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, length, &wide[0], wide_length);
    int utf8_length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (utf8_length <= 0)
        return false;
    size_t at = out->size();
    out->resize(at + size_t(utf8_length));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, &(*out)[at], utf8_length, nullptr,
                        nullptr);
    return true;
}

bool in(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

// GB18030 characters are 1, 2 or 4 bytes long; the second byte of a 4-byte one is a digit.
size_t sequence_length(const char* text, size_t length) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    if (p[0] < 0x80 || length < 2)
        return 1;
    if (in(p[1], 0x30, 0x39))
        return length >= 4 ? 4 : 1;
    return 2;
}

bool is_four_byte_character(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    return in(p[0], 0x81, 0xFE) && in(p[1], 0x30, 0x39) && in(p[2], 0x81, 0xFE) &&
           in(p[3], 0x30, 0x39);
}

} // namespace

void DecoderCloser::operator()(void*) const {}

bool text_decoder_open(TextDecoder* decoder) {
    decoder->handle.reset();
    CPINFO info;
    if (GetCPInfo(kGb18030CodePage, &info)) {
        decoder->code_page = kGb18030CodePage;
        decoder->four_byte = true;
        return true;
    }
    decoder->code_page = kGbkCodePage;
    decoder->four_byte = false;
    return GetCPInfo(kGbkCodePage, &info) != 0;
}

void decode_to_utf8(TextDecoder* decoder, const char* text, size_t length, std::string* out) {
    if (is_ascii(text, length)) {
        out->append(text, length);
        return;
    }
    UINT code_page = decoder->code_page;
    if (length < 0x7FFFFFFF && convert_run(code_page, text, int(length), out))
        return;
    // Some sequence is not accepted: go character by character so the rest still decodes.
    size_t pos = 0;
    while (pos < length) {
        size_t n = sequence_length(text + pos, length - pos);
        if (!convert_run(code_page, text + pos, int(n), out)) {
            out->append(kReplacement);
            if (n != 4 || !is_four_byte_character(text + pos))
                n = 1;
        }
        pos += n;
    }
}

#else

void DecoderCloser::operator()(void* handle) const {
    iconv_close(static_cast<iconv_t>(handle));
}

bool text_decoder_open(TextDecoder* decoder) {
    decoder->code_page = 0;
    decoder->four_byte = true;
    decoder->handle.reset();
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    decoder->handle.reset(cd);
    return true;
}

void decode_to_utf8(TextDecoder* decoder, const char* text, size_t length, std::string* out) {
    if (is_ascii(text, length)) {
        out->append(text, length);
        return;
    }
    iconv_t cd = static_cast<iconv_t>(decoder->handle.get());
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text);
    size_t in_left = length;
    char buffer[256];
    while (in_left > 0) {
        char* dest = buffer;
        size_t dest_left = sizeof buffer;
        size_t result = iconv(cd, &in, &in_left, &dest, &dest_left);
        out->append(buffer, size_t(dest - buffer));
        if (result != size_t(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ, or EINVAL for a sequence cut short by the end of the text.
        out->append(kReplacement);
        ++in;
        --in_left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
}

#endif
