// libFuzzer target, structure-aware: the fuzz bytes drive a generator of well-formed sources
// (text runs whose suffixes are shared, nested and overlapping texts; plain records, mode-1
// location blocks, mode-2 redirects and two-step area redirects), which the converter's own
// phases turn into a database. Oracle: the converter either fails with a status (the program
// prints its message), or writes a database that the reader opens and verifies, in which every
// source range's start and end give that range's texts and every gap gives nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/db_layout.h"
#include "convert/location_table.h"
#include "convert/output_writer.h"
#include "convert/range_merge.h"
#include "convert/source_reader.h"
#include "reader/db_reader.h"
#include "tests/source_builder.h"

namespace {

// The fuzz bytes, read front to back; zeros once they run out.
struct Bytes {
    const uint8_t* p;
    size_t n;
};

uint8_t next(Bytes* b) {
    if (b->n == 0)
        return 0;
    --b->n;
    return *b->p++;
}

struct Run {
    uint32_t pos; // where its bytes start in the source
    std::string text;
};

// A text reached through a pointer: a suffix of one of the runs.
struct TextRef {
    uint32_t pos;
    std::string text;
};

struct Range {
    uint32_t start, end;
    std::string country, area;
};

TextRef pick(Bytes* b, const std::vector<Run>& runs) {
    const Run& run = runs[next(b) % runs.size()];
    size_t offset = run.text.empty() ? 0 : next(b) % (run.text.size() + 1);
    return TextRef{run.pos + uint32_t(offset), run.text.substr(offset)};
}

// Text bytes never 0 (the terminator) and never 1 or 2, which at the start of a field would be
// read as a redirect: every suffix of a run must read as a text.
uint8_t text_byte(uint8_t v) {
    return v < 3 ? uint8_t('A' + v) : v;
}

// An area field at the current position: the text itself, a redirect to it, or a redirect to a
// redirect to it (the hop is written first, so it must already exist: *hop).
void put_area(SourceBuilder* sb, uint8_t form, const TextRef& area, uint32_t hop) {
    switch (form % 3) {
    case 0:
        sb_put_text(sb, area.text);
        break;
    case 1:
        sb_put_redirect(sb, uint8_t(1 + (form >> 2) % 2), area.pos);
        break;
    default:
        sb_put_redirect(sb, uint8_t(1 + (form >> 2) % 2), hop);
        break;
    }
}

// One record; returns where it starts (its end address).
uint32_t put_record(SourceBuilder* sb, Bytes* b, const std::vector<Run>& runs, Range* range) {
    TextRef country = pick(b, runs);
    TextRef area = pick(b, runs);
    uint8_t country_form = next(b) % 4;
    uint8_t area_form = next(b);
    // The hop of a two-step area redirect, and a mode-2 country redirect target, come first.
    uint32_t hop = sb_put_redirect(sb, uint8_t(1 + (area_form >> 3) % 2), area.pos);
    range->country = country.text;
    range->area = area.text;
    uint32_t record = 0;
    switch (country_form) {
    case 0: // plain: the country text in the record, the area field behind it
        record = sb_put_u32(sb, range->end);
        sb_put_text(sb, country.text);
        put_area(sb, area_form, area, hop);
        break;
    case 1: // mode 2: the area field follows the redirect
        record = sb_put_u32(sb, range->end);
        sb_put_redirect(sb, 2, country.pos);
        put_area(sb, area_form, area, hop);
        break;
    case 2: { // mode 1 to a location block: country (plain or mode 2), then its area field
        uint32_t block = sb_pos(sb);
        if (next(b) % 2)
            sb_put_text(sb, country.text);
        else
            sb_put_redirect(sb, 2, country.pos);
        put_area(sb, area_form, area, hop);
        record = sb_put_u32(sb, range->end);
        sb_put_redirect(sb, 1, block);
        break;
    }
    default: { // mode 1 to a mode-1 redirect: the country only, no area
        uint32_t block = sb_put_redirect(sb, 1, country.pos);
        record = sb_put_u32(sb, range->end);
        sb_put_redirect(sb, 1, block);
        range->area.clear();
        break;
    }
    }
    return record;
}

// A sorted source without overlaps; neighbours may touch (and join when their texts agree).
std::vector<uint8_t> generate(Bytes* b, std::vector<Range>* ranges) {
    SourceBuilder sb;
    sb_init(&sb);
    std::vector<Run> runs(1 + next(b) % 8);
    for (Run& run : runs) {
        size_t length = next(b) % 24;
        for (size_t i = 0; i < length; ++i)
            run.text.push_back(char(text_byte(next(b))));
        // Now and then the same bytes a second time, at another place.
        if (&run != &runs[0] && next(b) % 4 == 0)
            run.text = runs[0].text;
        run.pos = sb_put_text(&sb, run.text);
    }
    size_t count = 1 + next(b) % 48;
    uint64_t start = uint64_t(next(b)) << 24 | uint64_t(next(b)) << 8;
    for (size_t i = 0; i < count && start < 0xFFFFFF00u; ++i) {
        uint64_t end = start + (next(b) % 4 == 0 ? 0 : uint64_t(next(b)) << (next(b) % 17));
        if (end >= 0xFFFFFF00u)
            end = 0xFFFFFEFFu;
        Range range{uint32_t(start), uint32_t(end), "", ""};
        uint32_t record = put_record(&sb, b, runs, &range);
        sb_add_index(&sb, range.start, record);
        ranges->push_back(range);
        uint8_t gap = next(b);
        start = end + 1 + (gap % 2 ? 0 : uint64_t(gap) << (gap % 13));
    }
    // The closing sentinel, and the index then holds two entries at least.
    uint32_t sentinel = sb_put_u32(&sb, 0xFFFFFFFFu);
    sb_put_text(&sb, "sentinel");
    sb_put_text(&sb, "");
    sb_add_index(&sb, 0xFFFFFFFFu, sentinel);
    return sb_finish(&sb);
}

// The conversions' output folder, made once and removed with its files when the fuzzer exits
// (libFuzzer ends a bounded run through exit()).
struct ScratchFolder {
    std::string path;
    ~ScratchFolder() {
        if (path.empty())
            return;
        unlink((path + "/out.dat").c_str());
        unlink((path + "/vornip.tmp").c_str());
        rmdir(path.c_str());
    }
};

const std::string& scratch_folder() {
    static ScratchFolder folder;
    if (folder.path.empty()) {
        // In memory where there is such a folder: every conversion flushes its output to
        // stable storage, which on a disk would dominate the run.
        std::string name = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        name += "/norvane-conversion-fuzz-XXXXXX";
        std::vector<char> tmpl(name.begin(), name.end());
        tmpl.push_back('\0');
        if (mkdtemp(tmpl.data()) == nullptr)
            std::abort();
        folder.path = tmpl.data();
    }
    return folder.path;
}

void expect_texts(const NorvaneDb& db, uint32_t address, const Range& range) {
    DbLocation location;
    if (!db_lookup(&db, address, &location) || range.country != location.country ||
        range.area != location.area)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes b{data, size};
    int32_t format = next(&b) % 2 ? db_layout::kFormatOld : db_layout::kFormatNew;
    std::vector<Range> ranges;
    std::vector<uint8_t> source = generate(&b, &ranges);

    SourceDatabase db;
    if (load_source_from_memory(source.data(), source.size(), &db) != LOAD_OK)
        __builtin_trap(); // the generator writes only well-formed sources
    LocationTable table;
    if (location_table_init(&table) != 0)
        return 0;
    int32_t kept = 0;
    if (merge_source_ranges(&db, format, &table, &kept) != MERGE_OK)
        return 0; // a failure the program reports with its message
    std::string out = scratch_folder() + "/out.dat", temp = scratch_folder() + "/vornip.tmp";
    WriteReport report;
    if (write_output_database(&db, kept, &table, format, out.c_str(), temp.c_str(), &report) !=
        WRITE_OK)
        return 0;

    NorvaneDb converted;
    DbError error;
    if (db_open_file(out.c_str(), &converted, &error) != DB_OK ||
        converted.format_version != format)
        __builtin_trap();
    uint32_t previous_end = 0;
    for (size_t i = 0; i < ranges.size(); ++i) {
        const Range& range = ranges[i];
        expect_texts(converted, range.start, range);
        expect_texts(converted, range.end, range);
        DbLocation location;
        if (i > 0 && range.start > previous_end + 1 &&
            db_lookup(&converted, previous_end + 1, &location))
            __builtin_trap(); // a gap between two source ranges
        previous_end = range.end;
    }
    return 0;
}
