// MaxMind DB 2.0 files: an IPv6 search tree with the IPv4 space at ::/96 (also reached from
// ::ffff:0:0/96 and 2002::/16), one data record per location in the key layout of GeoIP2 City
// records, and the metadata.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "export/export_bytes.h"
#include "export/export_model.h"
#include "export/mmdb_data.h"

struct MmdbOptions {
    std::vector<std::string> languages; // the keys of every names map
    std::string database_type;
    uint64_t build_epoch = 0;
    uint32_t record_size = 0; // 0: the smallest that fits; 28 or 32 force a wider one
};

// The data section being written: each distinct part of the records (a string, a names map, a
// country, city or subdivisions value, a map key) is written once, and pointed at from every
// later record that holds it where the pointer is the shorter.
struct MmdbPartCopy {
    uint32_t offset; // in the data section
    uint32_t size;   // the bytes it took there
};

struct MmdbRecordWriter {
    std::string bytes;
    std::unordered_map<uint64_t, MmdbPartCopy> parts; // by kind and text numbers
    std::vector<std::string> keys;                    // map keys and languages, by number
};

void mmdb_record_writer_init(MmdbRecordWriter* writer, const std::vector<std::string>& languages);

// Appends the record of one location and returns its offset: country {iso_code, names},
// subdivisions [{names}], city {names}, district, isp, raw {country, area}, keys in that sorted
// order; empty values, and maps that would be empty, are left out.
uint32_t mmdb_write_location(MmdbRecordWriter* writer, const ExportModel& model,
                             const ExportLocation& location);

// 24, 28 or 32: the smallest record size that holds every record value (node count + 16 + data
// section size); 0 when none does.
uint32_t mmdb_record_size(uint64_t node_count, uint64_t data_size);

// The whole file for model.
ExportStatus build_mmdb(const ExportModel& model, const MmdbOptions& options, ExportBytes* out);
