#include "export/mmdb_format.h"

#include <cstring>
#include <iterator>

#include "export/cidr.h"

namespace {

const char kMetadataMarker[] = "\xAB\xCD\xEFMaxMind.com";
constexpr size_t kMetadataMarkerSize = sizeof kMetadataMarker - 1;
constexpr size_t kDataSeparator = 16; // zero bytes between the tree and the data section

// The nodes in front of the IPv4 tree: 96 on the path of zero bits (::/96), 15 more for the ones
// of ::ffff:0:0/96 below the node at depth 80, and 13 for 2002::/16 below the node at depth 2.
constexpr uint32_t kZeroPath = 96;
constexpr uint32_t kMappedPath = 15;
constexpr uint32_t kSixToFourPath = 13;
constexpr uint32_t kFrontNodes = kZeroPath + kMappedPath + kSixToFourPath;

// Parts of records, by kind: the kind goes into the top byte of a part's key.
enum PartKind : uint64_t {
    PART_KEY = 1,
    PART_STRING,
    PART_NAMES,
    PART_NAMED,
    PART_COUNTRY,
    PART_SUBDIVISIONS,
};

// The keys of the records; the languages follow them in MmdbRecordWriter::keys.
enum Key : uint32_t {
    KEY_AREA,
    KEY_CITY,
    KEY_COUNTRY,
    KEY_DISTRICT,
    KEY_ISO_CODE,
    KEY_ISP,
    KEY_NAMES,
    KEY_RAW,
    KEY_SUBDIVISIONS,
    KEY_LANGUAGES,
};
const char* const kKeys[] = {"area", "city",  "country", "district",    "iso_code",
                             "isp",  "names", "raw",     "subdivisions"};

uint64_t part_key(PartKind kind, uint64_t first, uint64_t second = 0) {
    return kind << 56 | first << 28 | second;
}

// Writes a part, or a pointer to its first copy where that is shorter.
template <typename Write> void write_part(MmdbRecordWriter* w, uint64_t key, Write&& write) {
    auto found = w->parts.find(key);
    bool known = found != w->parts.end();
    if (known && mmdb_pointer_size(found->second.offset) < found->second.size) {
        mmdb_append_pointer(&w->bytes, found->second.offset);
        return;
    }
    size_t at = w->bytes.size();
    write(); // may add parts of its own: found is not used after this
    if (!known)
        w->parts.emplace(key, MmdbPartCopy{uint32_t(at), uint32_t(w->bytes.size() - at)});
}

void write_string(MmdbRecordWriter* w, uint64_t key, const std::string& text) {
    write_part(w, key, [&] {
        mmdb_append_control(&w->bytes, MMDB_STRING, text.size());
        w->bytes.append(text);
    });
}

void write_key(MmdbRecordWriter* w, uint32_t key) {
    write_string(w, part_key(PART_KEY, key), w->keys[key]);
}

void write_text(MmdbRecordWriter* w, const ExportModel& model, uint32_t text) {
    write_string(w, part_key(PART_STRING, text), model.texts[text]);
}

void write_names(MmdbRecordWriter* w, const ExportModel& model, uint32_t text) {
    write_part(w, part_key(PART_NAMES, text), [&] {
        size_t languages = w->keys.size() - KEY_LANGUAGES;
        mmdb_append_control(&w->bytes, MMDB_MAP, languages);
        for (size_t i = 0; i < languages; ++i) {
            write_key(w, uint32_t(KEY_LANGUAGES + i));
            write_text(w, model, text);
        }
    });
}

// {names: ...}, as the city and each subdivision are.
void write_named(MmdbRecordWriter* w, const ExportModel& model, uint32_t text) {
    write_part(w, part_key(PART_NAMED, text), [&] {
        mmdb_append_control(&w->bytes, MMDB_MAP, 1);
        write_key(w, KEY_NAMES);
        write_names(w, model, text);
    });
}

// Calls visit(block, location) for the CIDR blocks of the ranges, neighbours of one location
// joined first so that they share the largest blocks.
template <typename Visit> void for_each_block(const ExportModel& model, Visit&& visit) {
    const std::vector<ExportRange>& ranges = model.ranges;
    size_t i = 0;
    while (i < ranges.size()) {
        uint32_t start = ranges[i].start_ip, end = ranges[i].end_ip;
        uint32_t location = ranges[i].location;
        while (i + 1 < ranges.size() && ranges[i + 1].location == location && end != UINT32_MAX &&
               ranges[i + 1].start_ip == end + 1)
            end = ranges[++i].end_ip;
        ++i;
        for_each_cidr_block(start, end, [&](const CidrBlock& block) { visit(block, location); });
    }
}

// How many nodes of the path to block the previous block's path already made: blocks are
// disjoint and ascending, so a node is shared only with the block just before.
uint32_t shared_depth(uint32_t previous_base, uint32_t previous_length, const CidrBlock& block) {
    if (previous_length == 0)
        return 0;
    uint32_t differ = previous_base ^ block.base;
    uint32_t common = differ == 0 ? 32 : uint32_t(__builtin_clz(differ));
    uint32_t shared = common + 1 < previous_length ? common + 1 : previous_length;
    return shared < block.prefix_length ? shared : block.prefix_length;
}

struct Tree {
    uint8_t* bytes;
    uint32_t record_size;
    uint32_t node_bytes;
    uint32_t node_count;
    uint32_t next; // the next node to make
};

void set_record(Tree* tree, uint32_t node, uint32_t side, uint32_t value) {
    uint8_t* p = tree->bytes + size_t(node) * tree->node_bytes;
    switch (tree->record_size) {
    case 24:
        p += side * 3;
        p[0] = uint8_t(value >> 16);
        p[1] = uint8_t(value >> 8);
        p[2] = uint8_t(value);
        break;
    case 28:
        if (side == 0) {
            p[0] = uint8_t(value >> 16);
            p[1] = uint8_t(value >> 8);
            p[2] = uint8_t(value);
            p[3] = uint8_t((p[3] & 0x0F) | (value >> 24 & 0x0F) << 4);
        } else {
            p[3] = uint8_t((p[3] & 0xF0) | (value >> 24 & 0x0F));
            p[4] = uint8_t(value >> 16);
            p[5] = uint8_t(value >> 8);
            p[6] = uint8_t(value);
        }
        break;
    default:
        p += side * 4;
        p[0] = uint8_t(value >> 24);
        p[1] = uint8_t(value >> 16);
        p[2] = uint8_t(value >> 8);
        p[3] = uint8_t(value);
        break;
    }
}

// A node whose records both find nothing.
uint32_t new_node(Tree* tree) {
    uint32_t node = tree->next++;
    set_record(tree, node, 0, tree->node_count);
    set_record(tree, node, 1, tree->node_count);
    return node;
}

// The nodes in front of the IPv4 tree, all leading to ipv4 (a node, a data record or nothing).
void build_front(Tree* tree, uint32_t ipv4) {
    for (uint32_t depth = 0; depth < kZeroPath; ++depth) {
        uint32_t node = new_node(tree);
        set_record(tree, node, 0, depth + 1 < kZeroPath ? node + 1 : ipv4);
    }
    // ::ffff:0:0/96: bits 80 to 95 are ones.
    uint32_t parent = 80;
    for (uint32_t depth = 81; depth < 96; ++depth) {
        uint32_t node = new_node(tree);
        set_record(tree, parent, 1, node);
        parent = node;
    }
    set_record(tree, parent, 1, ipv4);
    // 2002::/16: 0010 0000 0000 0010, the IPv4 address in the next 32 bits (6to4).
    const uint32_t prefix = 0x2002;
    parent = 2;
    uint32_t side = 1; // bit 2
    for (uint32_t depth = 3; depth < 16; ++depth) {
        uint32_t node = new_node(tree);
        set_record(tree, parent, side, node);
        parent = node;
        side = prefix >> (15 - depth) & 1;
    }
    set_record(tree, parent, side, ipv4);
}

MmdbValue metadata(const MmdbOptions& options, uint32_t node_count, uint32_t record_size) {
    MmdbValue description;
    mmdb_put(&description, "en",
             mmdb_string("IPv4 locations exported by norvane-query from a norvane database"));
    mmdb_put(&description, "zh-CN",
             mmdb_string("由 norvane-query 从 norvane 数据库导出的 IPv4 地址位置"));
    std::vector<MmdbValue> languages;
    for (const std::string& language : options.languages)
        languages.push_back(mmdb_string(language));
    MmdbValue map;
    mmdb_put(&map, "binary_format_major_version", mmdb_unsigned(MMDB_UINT16, 2));
    mmdb_put(&map, "binary_format_minor_version", mmdb_unsigned(MMDB_UINT16, 0));
    mmdb_put(&map, "build_epoch", mmdb_unsigned(MMDB_UINT64, options.build_epoch));
    mmdb_put(&map, "database_type", mmdb_string(options.database_type));
    mmdb_put(&map, "description", std::move(description));
    mmdb_put(&map, "ip_version", mmdb_unsigned(MMDB_UINT16, 6));
    mmdb_put(&map, "languages", mmdb_array(std::move(languages)));
    mmdb_put(&map, "node_count", mmdb_unsigned(MMDB_UINT32, node_count));
    mmdb_put(&map, "record_size", mmdb_unsigned(MMDB_UINT16, record_size));
    return map;
}

} // namespace

void mmdb_record_writer_init(MmdbRecordWriter* writer, const std::vector<std::string>& languages) {
    *writer = MmdbRecordWriter{};
    writer->keys.assign(std::begin(kKeys), std::end(kKeys));
    writer->keys.insert(writer->keys.end(), languages.begin(), languages.end());
}

uint32_t mmdb_write_location(MmdbRecordWriter* w, const ExportModel& model,
                             const ExportLocation& location) {
    const uint32_t* t = location.text;
    const bool city = t[FIELD_CITY] != 0, code = t[FIELD_COUNTRY_CODE] != 0,
               country = t[FIELD_COUNTRY] != 0, district = t[FIELD_DISTRICT] != 0,
               isp = t[FIELD_ISP] != 0, raw_area = t[FIELD_RAW_AREA] != 0,
               raw_country = t[FIELD_RAW_COUNTRY] != 0, province = t[FIELD_PROVINCE] != 0;
    uint32_t offset = uint32_t(w->bytes.size());
    mmdb_append_control(&w->bytes, MMDB_MAP,
                        size_t(city) + size_t(code || country) + size_t(district) + size_t(isp) +
                            size_t(raw_area || raw_country) + size_t(province));
    if (city) {
        write_key(w, KEY_CITY);
        write_named(w, model, t[FIELD_CITY]);
    }
    if (code || country) {
        write_key(w, KEY_COUNTRY);
        write_part(w, part_key(PART_COUNTRY, t[FIELD_COUNTRY_CODE], t[FIELD_COUNTRY]), [&] {
            mmdb_append_control(&w->bytes, MMDB_MAP, size_t(code) + size_t(country));
            if (code) {
                write_key(w, KEY_ISO_CODE);
                write_text(w, model, t[FIELD_COUNTRY_CODE]);
            }
            if (country) {
                write_key(w, KEY_NAMES);
                write_names(w, model, t[FIELD_COUNTRY]);
            }
        });
    }
    if (district) {
        write_key(w, KEY_DISTRICT);
        write_text(w, model, t[FIELD_DISTRICT]);
    }
    if (isp) {
        write_key(w, KEY_ISP);
        write_text(w, model, t[FIELD_ISP]);
    }
    if (raw_area || raw_country) { // nearly always a pair of its own: not kept as a part
        write_key(w, KEY_RAW);
        mmdb_append_control(&w->bytes, MMDB_MAP, size_t(raw_area) + size_t(raw_country));
        if (raw_area) {
            write_key(w, KEY_AREA);
            write_text(w, model, t[FIELD_RAW_AREA]);
        }
        if (raw_country) {
            write_key(w, KEY_COUNTRY);
            write_text(w, model, t[FIELD_RAW_COUNTRY]);
        }
    }
    if (province) {
        write_key(w, KEY_SUBDIVISIONS);
        write_part(w, part_key(PART_SUBDIVISIONS, t[FIELD_PROVINCE]), [&] {
            mmdb_append_control(&w->bytes, MMDB_ARRAY, 1);
            write_named(w, model, t[FIELD_PROVINCE]);
        });
    }
    return offset;
}

uint32_t mmdb_record_size(uint64_t node_count, uint64_t data_size) {
    uint64_t largest = node_count + kDataSeparator + data_size;
    for (uint32_t bits : {24u, 28u, 32u})
        if (largest < (uint64_t(1) << bits))
            return bits;
    return 0;
}

ExportStatus build_mmdb(const ExportModel& model, const MmdbOptions& options, ExportBytes* out) {
    // The data section first: its size decides the record size.
    if (model.texts.size() >= (size_t(1) << 28))
        return EXPORT_TOO_LARGE; // text numbers are 28 bits in the parts' keys
    MmdbRecordWriter data;
    mmdb_record_writer_init(&data, options.languages);
    std::vector<uint32_t> offsets;
    offsets.reserve(model.locations.size());
    for (const ExportLocation& location : model.locations)
        offsets.push_back(mmdb_write_location(&data, model, location));
    data.parts = {};

    // Then the node count, from the blocks alone.
    uint64_t ipv4_nodes = 0;
    bool whole_space = false;
    uint32_t previous_base = 0, previous_length = 0;
    for_each_block(model, [&](const CidrBlock& block, uint32_t) {
        if (block.prefix_length == 0) {
            whole_space = true;
            return;
        }
        ipv4_nodes += block.prefix_length - shared_depth(previous_base, previous_length, block);
        previous_base = block.base;
        previous_length = block.prefix_length;
    });
    uint64_t node_count = kFrontNodes + ipv4_nodes;
    uint32_t record_size = mmdb_record_size(node_count, data.bytes.size());
    if (record_size != 0 && options.record_size > record_size)
        record_size = options.record_size;
    if (record_size == 0)
        return EXPORT_TOO_LARGE;

    std::string tail;
    tail.append(kMetadataMarker, kMetadataMarkerSize);
    mmdb_append_plain(&tail, metadata(options, uint32_t(node_count), record_size));

    uint64_t tree_size = node_count * (record_size / 4);
    uint64_t total = tree_size + kDataSeparator + data.bytes.size() + tail.size();
    if (total > SIZE_MAX)
        return EXPORT_TOO_LARGE;
    out->data = malloc_array<uint8_t>(size_t(total));
    if (!out->data)
        return EXPORT_NO_MEMORY;
    out->size = size_t(total);
    uint8_t* bytes = out->data.get();

    Tree tree{bytes, record_size, record_size / 4, uint32_t(node_count), 0};
    const uint32_t data_base = uint32_t(node_count) + uint32_t(kDataSeparator);
    uint32_t ipv4 = tree.node_count; // nothing, until a block says otherwise
    if (whole_space)
        ipv4 = data_base + offsets[model.ranges[0].location];
    else if (ipv4_nodes > 0)
        ipv4 = kFrontNodes;
    build_front(&tree, ipv4);

    uint32_t path[32]; // the nodes of the previous block's path, by depth
    previous_base = 0;
    previous_length = 0;
    if (!whole_space)
        for_each_block(model, [&](const CidrBlock& block, uint32_t location) {
            uint32_t length = block.prefix_length;
            for (uint32_t depth = shared_depth(previous_base, previous_length, block);
                 depth < length; ++depth) {
                path[depth] = new_node(&tree);
                if (depth > 0)
                    set_record(&tree, path[depth - 1], block.base >> (32 - depth) & 1, path[depth]);
            }
            set_record(&tree, path[length - 1], block.base >> (32 - length) & 1,
                       data_base + offsets[location]);
            previous_base = block.base;
            previous_length = length;
        });

    uint8_t* at = bytes + tree_size;
    std::memset(at, 0, kDataSeparator);
    at += kDataSeparator;
    std::memcpy(at, data.bytes.data(), data.bytes.size());
    at += data.bytes.size();
    std::memcpy(at, tail.data(), tail.size());
    return EXPORT_OK;
}
