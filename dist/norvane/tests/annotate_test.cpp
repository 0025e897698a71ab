#include "query/annotate_scanner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/annotate_reference.h"

namespace {

// Notes name the address they were given, so a wrong parse shows; 9.9.9.9 is "not found".
std::string note_for(uint32_t address) {
    if (address == 0x09090909)
        return "";
    char text[40];
    std::snprintf(text, sizeof text, " [%u.%u.%u.%u]", address >> 24, (address >> 16) & 255,
                  (address >> 8) & 255, address & 255);
    return text;
}

bool test_lookup(void* context, uint32_t address, const char** note, size_t* size) {
    std::string* buffer = static_cast<std::string*>(context);
    *buffer = note_for(address);
    *note = buffer->data();
    *size = buffer->size();
    return !buffer->empty();
}

// Feeds text in chunks of the given sizes (cycling), checking the held-back bound.
std::string annotate_in_chunks(const std::string& text, const std::vector<size_t>& sizes) {
    std::string buffer, out;
    AnnotateScanner scanner;
    annotate_begin(&scanner, test_lookup, &buffer);
    size_t pos = 0, k = 0;
    while (pos < text.size()) {
        size_t size = std::min(sizes[k++ % sizes.size()], text.size() - pos);
        annotate_feed(&scanner, text.data() + pos, size, &out);
        EXPECT_LT(scanner.held_size, kAnnotateLookahead);
        pos += size;
    }
    annotate_end(&scanner, &out);
    return out;
}

std::string annotate_whole(const std::string& text) {
    return annotate_in_chunks(text, {1 << 20});
}

struct Case {
    const char* input;
    const char* expected;
};

TEST(Annotate, AddressBoundaries) {
    const Case cases[] = {
        // Annotated: whatever punctuation surrounds the address.
        {"1.2.3.4", "1.2.3.4 [1.2.3.4]"},
        {"1.2.3.4:80", "1.2.3.4 [1.2.3.4]:80"},
        {"(1.2.3.4)", "(1.2.3.4 [1.2.3.4])"},
        {"ip=1.2.3.4,", "ip=1.2.3.4 [1.2.3.4],"},
        {"from 1.2.3.4.", "from 1.2.3.4 [1.2.3.4]."},
        {"1.2.3.4.\n", "1.2.3.4 [1.2.3.4].\n"},
        {"1.2.3.4..5", "1.2.3.4 [1.2.3.4]..5"},
        {"-1.2.3.4-", "-1.2.3.4 [1.2.3.4]-"},
        {"_1.2.3.4_", "_1.2.3.4 [1.2.3.4]_"},
        {"0.0.0.0 255.255.255.255", "0.0.0.0 [0.0.0.0] 255.255.255.255 [255.255.255.255]"},
        {"10.20.30.40/24", "10.20.30.40 [10.20.30.40]/24"},
        {"\xe5\x9c\xb0"
         "1.2.3.4\xe5\x9c\xb0",
         "\xe5\x9c\xb0"
         "1.2.3.4 [1.2.3.4]\xe5\x9c\xb0"},
        {"1.2.3.4 5.6.7.8", "1.2.3.4 [1.2.3.4] 5.6.7.8 [5.6.7.8]"},
        // Left alone: part of something longer.
        {"1.2.3.4.5", "1.2.3.4.5"},
        {"v1.2.3.4", "v1.2.3.4"},
        {"1.2.3.4a", "1.2.3.4a"},
        {".1.2.3.4", ".1.2.3.4"},
        {"311.2.3.4", "311.2.3.4"},
        {"1.2.3.4567", "1.2.3.4567"},
        // Version numbers: three parts, five parts, a v before, an octet above 255.
        {"gcc 12.2.0, kernel 6.1.0.13.1", "gcc 12.2.0, kernel 6.1.0.13.1"},
        {"Chrome/120.0.6099.109 v1.0.0.1", "Chrome/120.0.6099.109 v1.0.0.1"},
        {"1.2.3", "1.2.3"},
        {"1.2.3.", "1.2.3."},
        {"1..2.3.4", "1..2.3.4"},
        // Not an address: octets above 255 or with leading zeros.
        {"256.1.1.1", "256.1.1.1"},
        {"1.2.3.256", "1.2.3.256"},
        {"01.2.3.4", "01.2.3.4"},
        {"1.2.3.04", "1.2.3.04"},
        {"1.2.00.4", "1.2.00.4"},
        // Known to the scanner but not to the lookup: no note.
        {"9.9.9.9 1.1.1.1", "9.9.9.9 1.1.1.1 [1.1.1.1]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(annotate_whole(c.input), c.expected) << "input: " << c.input;
}

TEST(Annotate, EverySplitOfATrickyTextGivesTheWholeResult) {
    const std::string text = "a 1.2.3.4. b 255.255.255.255:80 c 1.2.3.4.5 d 01.2.3.4 e "
                             "(9.8.7.6) 1.2.3.4.\r\n1.2.3.4";
    const std::string whole = annotate_whole(text);
    EXPECT_EQ(whole, reference_annotate(text, note_for));
    for (size_t first = 1; first < text.size(); ++first)
        EXPECT_EQ(annotate_in_chunks(text, {first, text.size()}), whole) << "split at " << first;
    for (size_t size = 1; size <= 20; ++size)
        EXPECT_EQ(annotate_in_chunks(text, {size}), whole) << "chunks of " << size;
}

TEST(Annotate, AgreesWithTheReferenceOnRandomTextInRandomChunks) {
    // An alphabet dense in digits and dots, with NUL, CR, LF and a high byte.
    const std::string alphabet = std::string("0123456789.....12525 a:\r\n\xff", 27) + '\0';
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::string text(size_t(random() % 400), ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        std::vector<size_t> sizes;
        for (int k = 0; k < 8; ++k)
            sizes.push_back(1 + random() % 40);
        EXPECT_EQ(annotate_in_chunks(text, sizes), reference_annotate(text, note_for))
            << "round " << round;
    }
}

TEST(Annotate, BinaryAndLongLinesPassThroughByteForByte) {
    std::string binary;
    for (int i = 0; i < 1 << 16; ++i)
        binary += char(i * 7919 % 256);
    EXPECT_EQ(annotate_in_chunks(binary, {4096, 3, 65536}), reference_annotate(binary, note_for));

    // A 4 MiB line of digits and dots without a line end: nothing held beyond the lookahead.
    std::string line;
    while (line.size() < (4u << 20))
        line += "1.2.3.4.5.6.7.8.";
    EXPECT_EQ(annotate_in_chunks(line, {65536}), line);
    std::string spaced = line + " 7.7.7.7";
    EXPECT_EQ(annotate_in_chunks(spaced, {65521}), line + " 7.7.7.7 [7.7.7.7]");
}

TEST(Annotate, AnAddressSplitAcrossReadsIsDecidedByWhatFollows) {
    // The end of "1.2.3.4" arrives first; what decides it arrives in a later chunk.
    EXPECT_EQ(annotate_in_chunks("1.2.3.4.5", {7, 1, 1}), "1.2.3.4.5");
    EXPECT_EQ(annotate_in_chunks("1.2.3.4. ", {7, 1, 1}), "1.2.3.4 [1.2.3.4]. ");
    EXPECT_EQ(annotate_in_chunks("1.2.3.45", {7, 1}), "1.2.3.45 [1.2.3.45]");
    EXPECT_EQ(annotate_in_chunks("x 1.2.3.4", {3, 100}), "x 1.2.3.4 [1.2.3.4]");
    // The stream ends right after the address or its dot.
    EXPECT_EQ(annotate_in_chunks("1.2.3.4.", {8}), "1.2.3.4 [1.2.3.4].");
    // A letter before the chunk boundary still blocks the address after it.
    EXPECT_EQ(annotate_in_chunks("v1.2.3.4 ", {1, 8}), "v1.2.3.4 ");
}

} // namespace
