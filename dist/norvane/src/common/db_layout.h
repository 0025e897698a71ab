// The two output database layouts, shared by the writer and the reader.
//
// Final file: [magic (new layout only)] [MD5 digest of the body] [body].
// Body: format_version u32, range_count u32, text_count (u16 old / u32 new),
//       ranges (range_count entries), text_offsets (text_count x u32), texts (zero-terminated).
// Every integer is little-endian; nothing is padded. Code that depends on the layout asks its
// traits instead of comparing format numbers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace db_layout {

constexpr char kMagic[] = "NorvaneDatabase2"; // stored without the terminating zero
constexpr size_t kMagicSize = 16;
constexpr size_t kDigestSize = 16;
constexpr size_t kTextOffsetSize = 4;

constexpr int32_t kFormatOld = 1;
constexpr int32_t kFormatNew = 2;

struct LayoutTraits {
    int32_t format_version;
    const char* name;
    bool has_magic;
    size_t prefix_size;      // bytes before the body: magic (new layout) and digest
    size_t header_size;      // format_version, range_count, text_count
    size_t range_entry_size; // start_ip, end_ip, country_index, area_index
    size_t index_width;      // bytes of text_count and of each index in a range entry
    uint32_t text_limit;     // most texts the indexes can name (the old layout never uses 0xFFFF)
};

constexpr LayoutTraits kLayouts[] = {
    {kFormatOld, "old layout", false, kDigestSize, 10, 12, 2, 65535},
    {kFormatNew, "new layout", true, kMagicSize + kDigestSize, 12, 16, 4, 0xFFFFFFFFu},
};

// Traits of the layout; any format number other than 2 is the old layout.
constexpr const LayoutTraits& traits(int32_t format_version) {
    return kLayouts[format_version == kFormatNew ? 1 : 0];
}

} // namespace db_layout
