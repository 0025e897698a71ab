#include "query/query_commands.h"

#include <cinttypes>
#include <cstring>
#include <new>

#include "common/db_layout.h"
#include "common/exit_codes.h"
#include "reader/db_stats.h"
#include "reader/ipv4_text.h"
#include "query/json_writer.h"
#include "query/line_reader.h"
#include "query/place_cache.h"

namespace {

const char* layout_name(const NorvaneDb* db) {
    return db_layout::traits(db->format_version).name;
}

void write_line(const std::string& line, std::FILE* out) {
    std::fwrite(line.data(), 1, line.size(), out);
}

void append_address(std::string* line, uint32_t address) {
    char text[kIpv4TextSize];
    line->append(text, format_ipv4(address, text));
}

// Returns false when no range covers the address.
bool append_location(std::string* line, const NorvaneDb* db, TextPrinter* printer,
                     uint32_t address) {
    DbLocation location;
    append_address(line, address);
    if (!db_lookup(db, address, &location)) {
        line->append("\tnot found\n");
        return false;
    }
    DbRange range = db_range(db, location.entry);
    line->push_back('\t');
    line->append(printable_text(printer, range.country_index));
    line->push_back('\t');
    line->append(printable_text(printer, range.area_index));
    line->push_back('\n');
    return true;
}

void append_json_member(std::string* line, const char* key, std::string_view value) {
    line->append(", \"");
    line->append(key);
    line->append("\": ");
    append_json_string(line, value);
}

// The same answer as one JSON object, with the structured fields beside the raw texts.
bool append_json_location(std::string* line, const NorvaneDb* db, TextPrinter* printer,
                          PlaceCache* places, uint32_t address) {
    char text[kIpv4TextSize];
    line->append("{\"ip\": ");
    append_json_string(line, std::string_view(text, format_ipv4(address, text)));
    DbLocation location;
    if (!db_lookup(db, address, &location)) {
        line->append(", \"found\": false}\n");
        return false;
    }
    DbRange range = db_range(db, location.entry);
    ParsedLocation place;
    place_of(places, printer, range, &place);
    line->append(", \"found\": true");
    append_json_member(line, "country_code", place.country_code);
    append_json_member(line, "country", place.country);
    append_json_member(line, "province", place.province);
    append_json_member(line, "city", place.city);
    append_json_member(line, "district", place.district);
    append_json_member(line, "isp", place.isp);
    append_json_member(line, "raw_country", printable_text(printer, range.country_index));
    append_json_member(line, "raw_area", printable_text(printer, range.area_index));
    line->append("}\n");
    return true;
}

bool append_answer(std::string* line, const NorvaneDb* db, TextPrinter* printer, PlaceCache* places,
                   uint32_t address) {
    return places != nullptr ? append_json_location(line, db, printer, places, address)
                             : append_location(line, db, printer, address);
}

void append_not_an_address(std::string* line, std::string_view input, bool json) {
    if (json) {
        line->append("{\"ip\": ");
        append_json_string(line, input);
        line->append(", \"error\": \"not an IPv4 address\"}\n");
    } else {
        line->append(input);
        line->append("\tnot an IPv4 address\n");
    }
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

int query_lookup(const NorvaneDb* db, TextPrinter* printer, const std::vector<uint32_t>& addresses,
                 std::FILE* in, const LookupStyle& style, std::FILE* out) {
    int status = kExitOk;
    std::string line;
    PlaceCache place_cache;
    PlaceCache* places = style.json ? &place_cache : nullptr;
    if (in == nullptr) {
        for (uint32_t address : addresses) {
            line.clear();
            if (!append_answer(&line, db, printer, places, address))
                status = kExitFailed;
            write_line(line, out);
        }
        return status;
    }
    // One answer per input line, in order, whatever the line holds.
    LineReader reader;
    line_reader_init(&reader, in);
    std::string input;
    bool overlong = false;
    while (read_input_line(&reader, &input, &overlong)) {
        size_t begin = 0, end = input.size();
        while (begin < end && is_blank(input[begin]))
            ++begin;
        while (end > begin && is_blank(input[end - 1]))
            --end;
        line.clear();
        uint32_t address;
        if (overlong || !parse_ipv4(input.data() + begin, end - begin, &address)) {
            append_not_an_address(&line, std::string_view(input).substr(begin, end - begin),
                                  style.json);
            status = kExitFailed;
        } else {
            if (!append_answer(&line, db, printer, places, address))
                status = kExitFailed;
        }
        write_line(line, out);
        if (style.line_buffered)
            std::fflush(out);
    }
    return status;
}
int query_verify(const NorvaneDb* db, const char* path, std::FILE* out) {
    std::fprintf(out,
                 "%s: OK: %s (format_version %d), %" PRIu32 " ranges, %" PRIu32
                 " texts, %s, digest OK\n",
                 path, layout_name(db), int(db->format_version), db->range_count, db->text_count,
                 db->sorted ? "sorted" : "not sorted");
    return kExitOk;
}

int query_dump(const NorvaneDb* db, TextPrinter* printer, bool csv, std::FILE* out) {
    std::string line;
    if (csv)
        write_line("start,end,country,area\n", out);
    char separator = csv ? ',' : '\t';
    for (uint32_t i = 0; i < db->range_count; ++i) {
        DbRange range = db_range(db, i);
        line.clear();
        append_address(&line, range.start_ip);
        line.push_back(separator);
        append_address(&line, range.end_ip);
        line.push_back(separator);
        if (csv) {
            append_csv_field(&line, printable_text(printer, range.country_index));
            line.push_back(separator);
            append_csv_field(&line, printable_text(printer, range.area_index));
        } else {
            line.append(printable_text(printer, range.country_index));
            line.push_back(separator);
            line.append(printable_text(printer, range.area_index));
        }
        line.push_back('\n');
        write_line(line, out);
    }
    return kExitOk;
}

namespace {

// For each structured field, the share of ranges it is filled for.
void print_field_shares(const NorvaneDb* db, TextPrinter* printer, std::FILE* out) {
    const char* names[] = {"country_code", "country", "province", "city", "district", "isp"};
    uint32_t filled[6] = {};
    PlaceCache places;
    ParsedLocation p;
    for (uint32_t i = 0; i < db->range_count; ++i) {
        place_of(&places, printer, db_range(db, i), &p);
        const std::string* fields[] = {&p.country_code, &p.country,  &p.province,
                                       &p.city,         &p.district, &p.isp};
        for (size_t k = 0; k < 6; ++k)
            filled[k] += fields[k]->empty() ? 0 : 1;
    }
    std::fprintf(out, "fields filled:");
    for (size_t k = 0; k < 6; ++k) {
        double share = db->range_count > 0 ? 100.0 * filled[k] / db->range_count : 0.0;
        std::fprintf(out, "%s %s %.1f%%", k == 0 ? "" : ",", names[k], share);
    }
    std::fprintf(out, " of the ranges\n");
}

} // namespace

int query_stats(const NorvaneDb* db, TextPrinter* printer, std::FILE* out) {
    const uint32_t kLongest = 5;
    DbStats stats;
    if (!compute_db_stats(db, kLongest, &stats))
        throw std::bad_alloc(); // reported by the driver like every other lack of memory
    const db_layout::LayoutTraits& layout = db_layout::traits(db->format_version);
    size_t ranges_bytes = size_t(db->text_offsets - db->ranges);
    size_t offsets_bytes = size_t(db->text_count) * db_layout::kTextOffsetSize;
    std::fprintf(out, "layout:       %s (format_version %d)\n", layout_name(db),
                 int(db->format_version));
    std::fprintf(out,
                 "file size:    %zu bytes (prefix %zu, header %zu, ranges %zu, "
                 "text offsets %zu, texts %zu)\n",
                 db->size, layout.prefix_size, layout.header_size, ranges_bytes, offsets_bytes,
                 db->texts_size);
    std::fprintf(out, "ranges:       %" PRIu32 " (%s", db->range_count,
                 db->sorted ? "sorted, no overlaps" : "not sorted or overlapping");
    if (stats.empty_ranges > 0)
        std::fprintf(out, "; %" PRIu32 " with end below start", stats.empty_ranges);
    std::fprintf(out, ")\n");
    std::fprintf(out,
                 "texts:        %" PRIu32 " (%" PRIu32 " used: %" PRIu32 " as country, %" PRIu32
                 " as area)\n",
                 db->text_count, stats.used_texts, stats.distinct_countries, stats.distinct_areas);
    std::fprintf(out, "coverage:     %" PRIu64 " of 4294967296 addresses (%.2f%%)\n",
                 stats.covered_addresses, 100.0 * double(stats.covered_addresses) / 4294967296.0);
    if (!printer->raw) // the parser reads UTF-8
        print_field_shares(db, printer, out);
    std::fprintf(out, "longest texts:\n");
    for (uint32_t index : stats.longest_texts) {
        std::fprintf(out, "  %6zu bytes  text %-8" PRIu32 " ", std::strlen(db_text(db, index)),
                     index);
        write_line(printable_text(printer, index), out);
        std::fputc('\n', out);
    }
    return kExitOk;
}
