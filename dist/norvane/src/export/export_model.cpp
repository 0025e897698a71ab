#include "export/export_model.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <map>
#include <unordered_map>

#include "reader/location_parser.h"
#include "reader/text_codec.h"

namespace {

constexpr uint32_t kNone = UINT32_MAX;

// Texts decoded once each and numbered once each (a damaged or hand-made database may store a
// text twice; parsed fields repeat across locations), and each pair of texts one location.
struct ModelBuilder {
    const NorvaneDb* db;
    ExportModel* model;
    TextDecoder decoder;
    std::vector<uint32_t> decoded; // by text index of the database; kNone until decoded
    std::unordered_map<std::string, uint32_t> number_of;
    std::unordered_map<uint64_t, uint32_t> location_of_pair;
    // The parser's country fields depend on the country text alone and isp on the area text
    // alone: each is parsed once, by text number (kNone until then).
    std::vector<std::array<uint32_t, FIELD_ISP>> place_of_text;
    std::vector<uint32_t> isp_of_text;
    std::string scratch;
};

uint32_t intern(ModelBuilder* b, const std::string& text) {
    auto inserted = b->number_of.emplace(text, uint32_t(b->model->texts.size()));
    if (inserted.second)
        b->model->texts.push_back(text);
    return inserted.first->second;
}

uint32_t decoded_text(ModelBuilder* b, uint32_t index) {
    uint32_t& number = b->decoded[index];
    if (number == kNone) {
        const char* bytes = db_text(b->db, index);
        b->scratch.clear();
        decode_to_utf8(&b->decoder, bytes, std::strlen(bytes), &b->scratch);
        number = intern(b, b->scratch);
    }
    return number;
}

uint32_t location_of(ModelBuilder* b, const DbRange& range) {
    uint32_t country = decoded_text(b, range.country_index);
    uint32_t area = decoded_text(b, range.area_index);
    uint64_t key = uint64_t(country) << 32 | area;
    auto inserted = b->location_of_pair.emplace(key, uint32_t(b->model->locations.size()));
    if (inserted.second) {
        if (b->place_of_text.size() < b->model->texts.size()) {
            b->place_of_text.resize(b->model->texts.size(), {kNone});
            b->isp_of_text.resize(b->model->texts.size(), kNone);
        }
        if (b->place_of_text[country][0] == kNone || b->isp_of_text[area] == kNone) {
            ParsedLocation parsed;
            parse_location(b->model->texts[country], b->model->texts[area], &parsed);
            std::array<uint32_t, FIELD_ISP> place = {
                intern(b, parsed.country_code), intern(b, parsed.country),
                intern(b, parsed.province), intern(b, parsed.city), intern(b, parsed.district)};
            uint32_t isp = intern(b, parsed.isp);
            b->place_of_text[country] = place;
            b->isp_of_text[area] = isp;
        }
        ExportLocation location;
        for (int field = 0; field < FIELD_ISP; ++field)
            location.text[field] = b->place_of_text[country][size_t(field)];
        location.text[FIELD_ISP] = b->isp_of_text[area];
        location.text[FIELD_RAW_COUNTRY] = country;
        location.text[FIELD_RAW_AREA] = area;
        b->model->locations.push_back(location);
    }
    return inserted.first->second;
}

// Appends the pieces of [start, end] that no earlier range took; covered maps the start of each
// taken stretch to its end (disjoint, joined where they touch) and gains [start, end].
void take_uncovered(std::map<uint64_t, uint64_t>* covered, uint64_t start, uint64_t end,
                    uint32_t location, std::vector<ExportRange>* out) {
    auto it = covered->upper_bound(start);
    if (it != covered->begin() && std::prev(it)->second + 1 >= start)
        --it;
    uint64_t cursor = start, joined_start = start, joined_end = end;
    while (it != covered->end() && it->first <= end + 1) {
        if (it->first > cursor && cursor <= end)
            out->push_back({uint32_t(cursor), uint32_t(std::min(it->first - 1, end)), location});
        cursor = std::max(cursor, it->second + 1);
        joined_start = std::min(joined_start, it->first);
        joined_end = std::max(joined_end, it->second);
        it = covered->erase(it);
    }
    if (cursor <= end)
        out->push_back({uint32_t(cursor), uint32_t(end), location});
    covered->emplace(joined_start, joined_end);
}

} // namespace

bool build_export_model(const NorvaneDb* db, ExportModel* model) {
    *model = ExportModel{};
    ModelBuilder b;
    b.db = db;
    b.model = model;
    if (!text_decoder_open(&b.decoder))
        return false;
    b.decoded.assign(db->text_count, kNone);
    intern(&b, std::string());

    model->ranges.reserve(db->range_count);
    if (db->sorted) {
        for (uint32_t i = 0; i < db->range_count; ++i) {
            DbRange range = db_range(db, i);
            if (range.start_ip <= range.end_ip)
                model->ranges.push_back({range.start_ip, range.end_ip, location_of(&b, range)});
        }
        return true;
    }
    std::map<uint64_t, uint64_t> covered;
    for (uint32_t i = 0; i < db->range_count; ++i) {
        DbRange range = db_range(db, i);
        if (range.start_ip <= range.end_ip)
            take_uncovered(&covered, range.start_ip, range.end_ip, location_of(&b, range),
                           &model->ranges);
    }
    std::sort(model->ranges.begin(), model->ranges.end(),
              [](const ExportRange& x, const ExportRange& y) { return x.start_ip < y.start_ip; });
    return true;
}
