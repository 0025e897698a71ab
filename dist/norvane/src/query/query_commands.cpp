#include "query/query_commands.h"

#include <cinttypes>
#include <cstring>
#include <new>

#include "common/db_layout.h"
#include "common/exit_codes.h"
#include "reader/db_stats.h"
#include "reader/ipv4_text.h"
#include "query/line_reader.h"

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

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

int query_lookup(const NorvaneDb* db, TextPrinter* printer, const std::vector<uint32_t>& addresses,
                 std::FILE* in, bool line_buffered, std::FILE* out) {
    int status = kExitOk;
    std::string line;
    if (in == nullptr) {
        for (uint32_t address : addresses) {
            line.clear();
            if (!append_location(&line, db, printer, address))
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
            line.append(input, begin, end - begin);
            line.append("\tnot an IPv4 address\n");
            status = kExitFailed;
        } else {
            if (!append_location(&line, db, printer, address))
                status = kExitFailed;
        }
        write_line(line, out);
        if (line_buffered)
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
    std::fprintf(out, "longest texts:\n");
    for (uint32_t index : stats.longest_texts) {
        std::fprintf(out, "  %6zu bytes  text %-8" PRIu32 " ", std::strlen(db_text(db, index)),
                     index);
        write_line(printable_text(printer, index), out);
        std::fputc('\n', out);
    }
    return kExitOk;
}
