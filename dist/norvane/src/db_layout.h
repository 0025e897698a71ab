// Constants of the output database layouts, shared by the writer and the reader.
//
// Final file: [magic (new layout only)] [MD5 digest of the body] [body].
// Body: format_version u32, range_count u32, text_count (u16 old / u32 new),
//       ranges (range_count entries), text_offsets (text_count x u32), texts (zero-terminated).
// Every integer is little-endian; nothing is padded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace db_layout {

constexpr char kMagic[] = "NorvaneDatabase2"; // stored without the terminating zero
constexpr size_t kMagicSize = 16;
constexpr size_t kDigestSize = 16;

constexpr int32_t kFormatOld = 1;
constexpr int32_t kFormatNew = 2;

// Bytes before the body in the final file.
constexpr size_t prefix_size(int32_t format_version) {
    return format_version == kFormatNew ? kMagicSize + kDigestSize : kDigestSize;
}
// Body header: format_version, range_count, text_count.
constexpr size_t header_size(int32_t format_version) {
    return format_version == kFormatNew ? 12 : 10;
}
// One range entry: start_ip, end_ip, country_index, area_index.
constexpr size_t range_entry_size(int32_t format_version) {
    return format_version == kFormatNew ? 16 : 12;
}
// Width of text_count and of the two indexes of a range entry.
constexpr size_t index_width(int32_t format_version) {
    return format_version == kFormatNew ? 4 : 2;
}
constexpr size_t kTextOffsetSize = 4;

// The old layout's indexes are 16 bits wide; 0xFFFF is never used as an index.
constexpr uint32_t kOldMaxTextCount = 65535;

} // namespace db_layout
