// The streaming annotate scanner against the plain reference scanner: the first bytes choose
// the chunk sizes, the rest is the text. Any difference, or more than the lookahead held back,
// is a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/annotate_reference.h"
#include "query/annotate_scanner.h"

namespace {

std::string note_for(uint32_t address) {
    if (address % 7 == 0) // some addresses are not in the database
        return "";
    char text[40];
    std::snprintf(text, sizeof text, " [%u.%u.%u.%u]", address >> 24, (address >> 16) & 255,
                  (address >> 8) & 255, address & 255);
    return text;
}

bool lookup(void* context, uint32_t address, const char** note, size_t* size) {
    std::string* buffer = static_cast<std::string*>(context);
    *buffer = note_for(address);
    *note = buffer->data();
    *size = buffer->size();
    return !buffer->empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t kHeader = 4;
    if (size < kHeader)
        return 0;
    std::vector<size_t> sizes;
    for (size_t k = 0; k < kHeader; ++k)
        sizes.push_back(1 + data[k] % 32);
    std::string text(reinterpret_cast<const char*>(data) + kHeader, size - kHeader);

    std::string buffer, out;
    AnnotateScanner scanner;
    annotate_begin(&scanner, lookup, &buffer);
    size_t pos = 0;
    for (size_t k = 0; pos < text.size(); ++k) {
        size_t chunk = std::min(sizes[k % kHeader], text.size() - pos);
        annotate_feed(&scanner, text.data() + pos, chunk, &out);
        if (scanner.held_size >= kAnnotateLookahead)
            std::abort();
        pos += chunk;
    }
    annotate_end(&scanner, &out);
    if (out != reference_annotate(text, note_for))
        std::abort();
    return 0;
}
