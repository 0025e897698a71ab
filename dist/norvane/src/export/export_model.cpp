#include "export/export_model.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <unordered_map>

#include "reader/text_codec.h"

namespace {

// Texts decoded once each, equal texts under one number (a damaged or hand-made database may
// store a text twice), and each pair of them one location.
struct LocationIndex {
    const NorvaneDb* db;
    TextDecoder decoder;
    std::vector<uint32_t> text_id; // by text index; kNone until decoded
    std::vector<std::string> texts;
    std::unordered_map<std::string, uint32_t> id_of_text;
    std::unordered_map<uint64_t, uint32_t> location_of_pair;
};

constexpr uint32_t kNone = UINT32_MAX;

uint32_t text_id(LocationIndex* index, uint32_t text) {
    uint32_t& id = index->text_id[text];
    if (id == kNone) {
        const char* bytes = db_text(index->db, text);
        std::string utf8;
        decode_to_utf8(&index->decoder, bytes, std::strlen(bytes), &utf8);
        auto inserted = index->id_of_text.emplace(utf8, uint32_t(index->texts.size()));
        if (inserted.second)
            index->texts.push_back(std::move(utf8));
        id = inserted.first->second;
    }
    return id;
}

uint32_t location_of(LocationIndex* index, const DbRange& range, ExportModel* model) {
    uint32_t country = text_id(index, range.country_index);
    uint32_t area = text_id(index, range.area_index);
    uint64_t key = uint64_t(country) << 32 | area;
    auto inserted = index->location_of_pair.emplace(key, uint32_t(model->locations.size()));
    if (inserted.second) {
        ExportLocation location;
        location.raw_country = index->texts[country];
        location.raw_area = index->texts[area];
        parse_location(location.raw_country, location.raw_area, &location.parsed);
        model->locations.push_back(std::move(location));
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
    model->ranges.clear();
    model->locations.clear();
    LocationIndex index;
    index.db = db;
    if (!text_decoder_open(&index.decoder))
        return false;
    index.text_id.assign(db->text_count, kNone);

    model->ranges.reserve(db->range_count);
    if (db->sorted) {
        for (uint32_t i = 0; i < db->range_count; ++i) {
            DbRange range = db_range(db, i);
            if (range.start_ip <= range.end_ip)
                model->ranges.push_back(
                    {range.start_ip, range.end_ip, location_of(&index, range, model)});
        }
        return true;
    }
    std::map<uint64_t, uint64_t> covered;
    for (uint32_t i = 0; i < db->range_count; ++i) {
        DbRange range = db_range(db, i);
        if (range.start_ip <= range.end_ip)
            take_uncovered(&covered, range.start_ip, range.end_ip,
                           location_of(&index, range, model), &model->ranges);
    }
    std::sort(model->ranges.begin(), model->ranges.end(),
              [](const ExportRange& a, const ExportRange& b) { return a.start_ip < b.start_ip; });
    return true;
}
