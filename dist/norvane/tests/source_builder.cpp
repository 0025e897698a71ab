#include "tests/source_builder.h"

#include "tests/real_shaped_texts.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "common/byte_order.h"

void sb_init(SourceBuilder* b) {
    b->bytes.assign(8, 0);
    b->index.clear();
}

uint32_t sb_pos(const SourceBuilder* b) {
    return uint32_t(b->bytes.size());
}

uint32_t sb_put_u32(SourceBuilder* b, uint32_t v) {
    uint32_t at = sb_pos(b);
    uint8_t tmp[4];
    store_le32(tmp, v);
    b->bytes.insert(b->bytes.end(), tmp, tmp + 4);
    return at;
}

uint32_t sb_put_u24(SourceBuilder* b, uint32_t v) {
    uint32_t at = sb_pos(b);
    b->bytes.push_back(uint8_t(v));
    b->bytes.push_back(uint8_t(v >> 8));
    b->bytes.push_back(uint8_t(v >> 16));
    return at;
}

uint32_t sb_put_byte(SourceBuilder* b, uint8_t v) {
    uint32_t at = sb_pos(b);
    b->bytes.push_back(v);
    return at;
}

uint32_t sb_put_text(SourceBuilder* b, const std::string& text) {
    uint32_t at = sb_pos(b);
    b->bytes.insert(b->bytes.end(), text.begin(), text.end());
    b->bytes.push_back(0);
    return at;
}

uint32_t sb_put_redirect(SourceBuilder* b, uint8_t mode, uint32_t target) {
    uint32_t at = sb_put_byte(b, mode);
    sb_put_u24(b, target);
    return at;
}

void sb_add_index(SourceBuilder* b, uint32_t start_ip, uint32_t record_pos) {
    uint8_t e[7];
    store_le32(e, start_ip);
    e[4] = uint8_t(record_pos);
    e[5] = uint8_t(record_pos >> 8);
    e[6] = uint8_t(record_pos >> 16);
    b->index.insert(b->index.end(), e, e + 7);
}

std::vector<uint8_t> sb_finish(SourceBuilder* b) {
    std::vector<uint8_t> out = b->bytes;
    uint32_t first = uint32_t(out.size());
    out.insert(out.end(), b->index.begin(), b->index.end());
    uint32_t last = b->index.empty() ? first : uint32_t(out.size()) - 7;
    store_le32(out.data(), first);
    store_le32(out.data() + 4, last);
    return out;
}

namespace {

// Where each distinct text stands once in the file, so redirects can share it.
struct TextPool {
    std::map<std::string, uint32_t> at;
};

uint32_t pooled(SourceBuilder* b, TextPool* pool, const std::string& text) {
    auto it = pool->at.find(text);
    if (it != pool->at.end())
        return it->second;
    // A text must not begin with a mode byte, or it would read as a redirect.
    uint32_t pos = sb_put_text(b, text);
    pool->at.emplace(text, pos);
    return pos;
}

// An area field that resolves to `area`: the text itself, one redirect, or two.
void put_area_field(SourceBuilder* b, TextPool* pool, const std::string& area, int form) {
    switch (form % 3) {
    case 0:
        sb_put_text(b, area);
        break;
    case 1:
        sb_put_redirect(b, 2, pooled(b, pool, area));
        break;
    default: {
        // Mode 1 to a redirect: exactly one more redirect is followed.
        uint32_t inner = sb_put_redirect(b, 2, pooled(b, pool, area));
        sb_put_redirect(b, 1, inner);
        break;
    }
    }
}

// One record for r in redirect form `form`; returns its position.
uint32_t put_record(SourceBuilder* b, TextPool* pool, const SimpleRange& r, int form) {
    bool empty_area = r.area.empty();
    switch (form % 5) {
    case 0: { // plain country, area field behind it
        uint32_t at = sb_put_u32(b, r.end_ip);
        sb_put_text(b, r.country);
        put_area_field(b, pool, r.area, form / 5);
        return at;
    }
    case 1: { // mode 1 to a location block: country text, then its area field
        uint32_t block = sb_pos(b);
        sb_put_text(b, r.country);
        put_area_field(b, pool, r.area, form / 5 + 1);
        uint32_t at = sb_put_u32(b, r.end_ip);
        sb_put_redirect(b, 1, block);
        return at;
    }
    case 2: { // mode 2 to the country text, area field at R+8
        uint32_t country = pooled(b, pool, r.country);
        uint32_t at = sb_put_u32(b, r.end_ip);
        sb_put_redirect(b, 2, country);
        put_area_field(b, pool, r.area, form / 5 + 2);
        return at;
    }
    case 3: { // mode 1 to mode 2: country through two redirects, area field at X+4
        uint32_t country = pooled(b, pool, r.country);
        uint32_t block = sb_put_redirect(b, 2, country);
        put_area_field(b, pool, r.area, form / 5);
        uint32_t at = sb_put_u32(b, r.end_ip);
        sb_put_redirect(b, 1, block);
        return at;
    }
    default: {
        if (empty_area) { // mode 1 to mode 1: the area is empty by rule
            uint32_t country = pooled(b, pool, r.country);
            uint32_t block = sb_put_redirect(b, 1, country);
            uint32_t at = sb_put_u32(b, r.end_ip);
            sb_put_redirect(b, 1, block);
            return at;
        }
        // mode 2 to mode 1: country through two redirects, area field at R+8
        uint32_t country = pooled(b, pool, r.country);
        uint32_t block = sb_put_redirect(b, 1, country);
        uint32_t at = sb_put_u32(b, r.end_ip);
        sb_put_redirect(b, 2, block);
        put_area_field(b, pool, r.area, form / 5 + 1);
        return at;
    }
    }
}

} // namespace

std::vector<uint8_t> build_source(const std::vector<SimpleRange>& ranges) {
    SourceBuilder b;
    sb_init(&b);
    TextPool pool;
    std::vector<uint32_t> positions;
    int form = 0;
    for (const SimpleRange& r : ranges)
        positions.push_back(put_record(&b, &pool, r, form++));
    for (size_t i = 0; i < ranges.size(); ++i)
        sb_add_index(&b, ranges[i].start_ip, positions[i]);
    return sb_finish(&b);
}

std::vector<uint8_t> generate_source(uint32_t range_count, uint32_t text_count, uint32_t seed,
                                     std::vector<SimpleRange>* expected) {
    std::mt19937 rng(seed);
    // A third of the texts are countries, the rest areas; texts look like GBK (two-byte chars).
    uint32_t country_count = text_count / 3 > 0 ? text_count / 3 : 1;
    uint32_t area_count = text_count > country_count ? text_count - country_count : 1;
    auto make_text = [](char kind, uint32_t n) {
        std::string t = "\xB5\xE7\xD0\xC5"; // two GBK characters
        t += kind;
        t += std::to_string(n);
        return t;
    };

    SourceBuilder b;
    sb_init(&b);
    b.bytes.reserve(size_t(range_count) * 15 + size_t(text_count) * 16);
    std::vector<uint32_t> country_at(country_count), area_at(area_count);
    for (uint32_t i = 0; i < country_count; ++i)
        country_at[i] = sb_put_text(&b, make_text('C', i));
    for (uint32_t i = 0; i < area_count; ++i)
        area_at[i] = sb_put_text(&b, make_text('A', i));

    // Shared location blocks (a country redirect and an area redirect), as real databases have;
    // they keep records at 8 bytes so that 1.5 million of them fit below 16 MiB.
    uint32_t block_count = text_count < 65536 ? (text_count > 0 ? text_count : 1) : 65536;
    struct Block {
        uint32_t pos, country, area;
    };
    std::vector<Block> blocks(block_count);
    for (uint32_t i = 0; i < block_count; ++i) {
        Block& blk = blocks[i];
        blk.country = uint32_t(rng() % country_count);
        blk.area = uint32_t(rng() % area_count);
        blk.pos = sb_put_redirect(&b, 2, country_at[blk.country]);
        sb_put_redirect(&b, 2, area_at[blk.area]);
    }

    // Split the address space evenly; the last range ends below the sentinel.
    uint64_t step = uint64_t(0xFFFFFF00u) / (range_count ? range_count : 1);
    std::vector<uint32_t> positions(range_count);
    if (expected)
        expected->clear();
    for (uint32_t i = 0; i < range_count; ++i) {
        uint32_t start = uint32_t(step * i);
        uint32_t end = uint32_t(step * (i + 1) - 1);
        uint32_t c, a;
        uint32_t at = sb_put_u32(&b, end);
        if (i < text_count || rng() % 32 == 0) {
            // Two redirects of its own; the first records walk every text once.
            c = i < text_count ? i % country_count : uint32_t(rng() % country_count);
            a = i < text_count ? i % area_count : uint32_t(rng() % area_count);
            sb_put_redirect(&b, 2, country_at[c]);
            sb_put_redirect(&b, 2, area_at[a]);
        } else {
            const Block& blk = blocks[rng() % block_count];
            c = blk.country;
            a = blk.area;
            sb_put_redirect(&b, 1, blk.pos);
        }
        positions[i] = at;
        if (expected)
            expected->push_back(SimpleRange{start, end, make_text('C', c), make_text('A', a)});
    }
    if (sb_pos(&b) >= (1u << 24)) {
        std::fprintf(stderr, "generate_source: records do not fit below 16 MiB\n");
        std::abort();
    }
    for (uint32_t i = 0; i < range_count; ++i)
        sb_add_index(&b, uint32_t(step * i), positions[i]);
    return sb_finish(&b);
}

std::vector<uint8_t> generate_real_shaped_source(uint32_t range_count, uint32_t seed,
                                                 std::vector<SimpleRange>* expected) {
    std::mt19937 rng(seed);
    const uint32_t kCountries = 400, kAreas = 2600, kBlocks = 20000;
    std::vector<std::string> countries(kCountries), areas(kAreas);
    for (uint32_t i = 0; i < kCountries; ++i)
        countries[i] = shaped_country(i).gbk;
    for (uint32_t i = 0; i < kAreas; ++i)
        areas[i] = shaped_area(i).gbk;
    SourceBuilder b;
    sb_init(&b);
    std::vector<uint32_t> country_at(kCountries), area_at(kAreas);
    for (uint32_t i = 0; i < kCountries; ++i)
        country_at[i] = sb_put_text(&b, countries[i]);
    for (uint32_t i = 0; i < kAreas; ++i)
        area_at[i] = sb_put_text(&b, areas[i]);
    struct Block {
        uint32_t pos, country, area;
    };
    std::vector<Block> blocks(kBlocks);
    for (Block& blk : blocks) {
        blk.country = uint32_t(rng() % kCountries);
        blk.area = uint32_t(rng() % kAreas);
        blk.pos = sb_put_redirect(&b, 2, country_at[blk.country]);
        sb_put_redirect(&b, 2, area_at[blk.area]);
    }
    uint64_t step = uint64_t(0xFFFFFF00u) / (range_count ? range_count : 1);
    std::vector<uint32_t> positions(range_count);
    if (expected)
        expected->clear();
    uint32_t block = 0;
    for (uint32_t i = 0; i < range_count; ++i) {
        uint32_t start = uint32_t(step * i), end = uint32_t(step * (i + 1) - 1);
        positions[i] = sb_put_u32(&b, end);
        uint32_t c, a, form = uint32_t(rng() % 10);
        if (form < 7) {
            // A location block; a third of the time the neighbour's, so the two join.
            if (rng() % 3 != 0)
                block = uint32_t(rng() % kBlocks);
            c = blocks[block].country;
            a = blocks[block].area;
            sb_put_redirect(&b, 1, blocks[block].pos);
        } else {
            // The country through a redirect, the area written out here once more.
            c = uint32_t(rng() % kCountries);
            a = uint32_t(rng() % kAreas);
            sb_put_redirect(&b, 2, country_at[c]);
            sb_put_text(&b, areas[a]);
        }
        if (expected)
            expected->push_back({start, end, countries[c], areas[a]});
    }
    if (b.bytes.size() >= (size_t(1) << 24)) {
        std::fprintf(stderr, "generate_real_shaped_source: records do not fit below 16 MiB\n");
        std::abort();
    }
    for (uint32_t i = 0; i < range_count; ++i)
        sb_add_index(&b, uint32_t(step * i), positions[i]);
    return sb_finish(&b);
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::vector<uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}
