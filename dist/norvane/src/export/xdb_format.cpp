#include "export/xdb_format.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include "common/byte_order.h"

namespace {

constexpr size_t kHeaderSize = 256;
constexpr size_t kVectorCells = 256 * 256;
constexpr size_t kVectorCellSize = 8;
constexpr size_t kSegmentSize = 14;
constexpr uint16_t kStructureVersion = 2;
constexpr uint16_t kVectorIndexPolicy = 1;

void append_field(std::string* text, const std::string& field) {
    text->append(field.empty() ? "0" : field);
}

// Calls visit(start, end) for the pieces of [start, end] within one /16 each.
template <typename Visit> void for_each_piece(uint32_t start, uint32_t end, Visit&& visit) {
    uint64_t at = start;
    while (at <= end) {
        uint64_t block_end = at | 0xFFFF;
        uint32_t piece_end = block_end < end ? uint32_t(block_end) : end;
        visit(uint32_t(at), piece_end);
        at = uint64_t(piece_end) + 1;
    }
}

} // namespace

std::string xdb_region_text(const ExportModel& model, const ExportLocation& location) {
    std::string text;
    append_field(&text, field_text(model, location, FIELD_COUNTRY));
    text.append("|0|");
    append_field(&text, field_text(model, location, FIELD_PROVINCE));
    text.push_back('|');
    append_field(&text, field_text(model, location, FIELD_CITY));
    text.push_back('|');
    append_field(&text, field_text(model, location, FIELD_ISP));
    return text;
}

ExportStatus build_xdb(const ExportModel& model, uint32_t created_at, ExportBytes* out) {
    // Region texts: each distinct one once, behind the vector index.
    std::string regions;
    std::vector<uint32_t> region_at(model.locations.size()); // offset in regions
    std::vector<uint16_t> region_length(model.locations.size());
    std::unordered_map<std::string, uint32_t> seen;
    for (size_t i = 0; i < model.locations.size(); ++i) {
        std::string text = xdb_region_text(model, model.locations[i]);
        if (text.size() > UINT16_MAX)
            text.resize(UINT16_MAX);
        auto inserted = seen.emplace(text, uint32_t(regions.size()));
        if (inserted.second)
            regions.append(text);
        region_at[i] = inserted.first->second;
        region_length[i] = uint16_t(text.size());
    }

    uint64_t segments = 0;
    for (const ExportRange& range : model.ranges)
        segments += (range.end_ip >> 16) - (range.start_ip >> 16) + 1;
    const uint64_t regions_at = kHeaderSize + kVectorCells * kVectorCellSize;
    const uint64_t index_at = regions_at + regions.size();
    const uint64_t total = index_at + segments * kSegmentSize;
    if (total > UINT32_MAX)
        return EXPORT_TOO_LARGE; // the file offsets are 32 bits
    out->data = calloc_array<uint8_t>(size_t(total));
    if (!out->data)
        return EXPORT_NO_MEMORY;
    out->size = size_t(total);
    uint8_t* bytes = out->data.get();

    store_le16(bytes, kStructureVersion);
    store_le16(bytes + 2, kVectorIndexPolicy);
    store_le32(bytes + 4, created_at);
    store_le32(bytes + 8, uint32_t(index_at));
    store_le32(bytes + 12, uint32_t(segments > 0 ? total - kSegmentSize : index_at));
    std::memcpy(bytes + regions_at, regions.data(), regions.size());

    // Each /16's cell holds its first and last segment; one with none stays zero, which the
    // reader takes for "nothing here".
    uint8_t* segment = bytes + index_at;
    for (const ExportRange& range : model.ranges) {
        uint32_t data_ptr = uint32_t(regions_at) + region_at[range.location];
        uint16_t data_len = region_length[range.location];
        for_each_piece(range.start_ip, range.end_ip, [&](uint32_t start, uint32_t end) {
            uint32_t offset = uint32_t(segment - bytes);
            uint8_t* cell = bytes + kHeaderSize + (start >> 16) * kVectorCellSize;
            if (load_le32(cell) == 0)
                store_le32(cell, offset);
            store_le32(cell + 4, offset);
            store_le32(segment, start);
            store_le32(segment + 4, end);
            store_le16(segment + 8, data_len);
            store_le32(segment + 10, data_ptr);
            segment += kSegmentSize;
        });
    }
    return EXPORT_OK;
}
