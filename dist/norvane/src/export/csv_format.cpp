#include "export/csv_format.h"

#include "export/cidr.h"
#include "reader/ipv4_text.h"

namespace {

constexpr size_t kPieceSize = size_t(1) << 20;

const char kLocationColumns[] =
    "country_code,country,province,city,district,isp,raw_country,raw_area\r\n";

// The columns after the address ones, with the line end: the same for every row of a location.
std::string location_columns(const ExportModel& model, const ExportLocation& location) {
    std::string row;
    for (int field = 0; field < FIELD_COUNT; ++field) {
        row.push_back(',');
        append_csv_value(&row, field_text(model, location, ExportField(field)));
    }
    row.append("\r\n");
    return row;
}

void append_address(std::string* out, uint32_t address) {
    char text[kIpv4TextSize];
    out->append(text, format_ipv4(address, text));
}

} // namespace

void append_csv_value(std::string* line, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        line->append(field);
        return;
    }
    line->push_back('"');
    for (char c : field) {
        if (c == '"')
            line->push_back('"');
        line->push_back(c);
    }
    line->push_back('"');
}

bool write_csv(const ExportModel& model, bool cidr,
               const std::function<bool(const std::string&)>& sink) {
    std::vector<std::string> columns;
    columns.reserve(model.locations.size());
    for (const ExportLocation& location : model.locations)
        columns.push_back(location_columns(model, location));

    std::string piece = cidr ? "network," : "start_ip,end_ip,";
    piece.append(kLocationColumns);
    for (const ExportRange& range : model.ranges) {
        const std::string& rest = columns[range.location];
        if (cidr) {
            for_each_cidr_block(range.start_ip, range.end_ip, [&](const CidrBlock& block) {
                piece.append(cidr_text(block));
                piece.append(rest);
            });
        } else {
            append_address(&piece, range.start_ip);
            piece.push_back(',');
            append_address(&piece, range.end_ip);
            piece.append(rest);
        }
        if (piece.size() >= kPieceSize) {
            if (!sink(piece))
                return false;
            piece.clear();
        }
    }
    return sink(piece);
}
