// ip2region's xdb files for IPv4 (structure version 2): a 256-byte header, the 256 x 256 vector
// index by the first two octets, the region texts, and the 14-byte segment index entries, which
// never cross a /16 boundary.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_bytes.h"
#include "export/export_model.h"

// "country|0|province|city|isp", with "0" for an empty field, as ip2region's own data is written.
std::string xdb_region_text(const ExportModel& model, const ExportLocation& location);

// The whole file; created_at goes into the header.
ExportStatus build_xdb(const ExportModel& model, uint32_t created_at, ExportBytes* out);
