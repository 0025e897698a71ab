// Builds source databases in the qqwry.dat layout in memory, for tests, the benchmark and the
// fuzz seeds. Bytes are appended in order; the index goes last and the header is filled in by
// sb_finish.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SourceBuilder {
    std::vector<uint8_t> bytes; // starts with 8 header bytes to be filled in
    std::vector<uint8_t> index; // 7-byte entries, appended behind the data by sb_finish
};

void sb_init(SourceBuilder* b);
uint32_t sb_pos(const SourceBuilder* b);
uint32_t sb_put_u32(SourceBuilder* b, uint32_t v);
uint32_t sb_put_u24(SourceBuilder* b, uint32_t v);
uint32_t sb_put_byte(SourceBuilder* b, uint8_t v);
// The text's bytes and a zero byte; returns where the text begins.
uint32_t sb_put_text(SourceBuilder* b, const std::string& text);
// A mode byte and a 3-byte position; returns where the mode byte is.
uint32_t sb_put_redirect(SourceBuilder* b, uint8_t mode, uint32_t target);
void sb_add_index(SourceBuilder* b, uint32_t start_ip, uint32_t record_pos);
// The finished file: data, then the index; the header points at the first and last entry.
std::vector<uint8_t> sb_finish(SourceBuilder* b);

// A range as the reader should resolve it.
struct SimpleRange {
    uint32_t start_ip;
    uint32_t end_ip;
    std::string country;
    std::string area;
};

// A source holding the ranges in the given order. Texts are stored once and reached through the
// layout's redirect forms in turn (plain, mode 1, mode 2, mode 1 to mode 2, area redirects), so
// that every range resolves to its two texts.
std::vector<uint8_t> build_source(const std::vector<SimpleRange>& ranges);

// A sorted, gap-free source of range_count ranges over text_count distinct texts (countries and
// areas), deterministic for a seed; the bulk of the records use the redirect forms real
// databases use. Ranges are returned in `expected` when it is not null.
std::vector<uint8_t> generate_source(uint32_t range_count, uint32_t text_count, uint32_t seed,
                                     std::vector<SimpleRange>* expected);

// A sorted, gap-free source shaped like real databases: few texts (about 3,000) shared by many
// ranges through location blocks, neighbours that often share a block (the merge joins them),
// and areas stored inline again and again (equal bytes at many places), as real files do.
std::vector<uint8_t> generate_real_shaped_source(uint32_t range_count, uint32_t seed,
                                                 std::vector<SimpleRange>* expected);

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::string& path);
