#include "tests/db_builder.h"

#include <cstring>
#include <map>

#include "common/byte_order.h"
#include "common/db_layout.h"
#include "common/md5.h"

namespace {

void put32(std::vector<uint8_t>* out, uint32_t v) {
    uint8_t b[4];
    store_le32(b, v);
    out->insert(out->end(), b, b + 4);
}

void put16(std::vector<uint8_t>* out, uint32_t v) {
    uint8_t b[2];
    store_le16(b, uint16_t(v));
    out->insert(out->end(), b, b + 2);
}

} // namespace

std::vector<uint8_t> build_db(int32_t format_version, const std::vector<TestRange>& ranges,
                              const std::vector<std::string>& texts) {
    bool wide = format_version == db_layout::kFormatNew;
    std::vector<uint8_t> body;
    put32(&body, uint32_t(format_version));
    put32(&body, uint32_t(ranges.size()));
    if (wide)
        put32(&body, uint32_t(texts.size()));
    else
        put16(&body, uint32_t(texts.size()));
    for (const TestRange& r : ranges) {
        put32(&body, r.start_ip);
        put32(&body, r.end_ip);
        if (wide) {
            put32(&body, r.country_index);
            put32(&body, r.area_index);
        } else {
            put16(&body, r.country_index);
            put16(&body, r.area_index);
        }
    }
    uint32_t offset = 0;
    for (const std::string& t : texts) {
        put32(&body, offset);
        offset += uint32_t(t.size() + 1);
    }
    for (const std::string& t : texts) {
        body.insert(body.end(), t.begin(), t.end());
        body.push_back(0);
    }

    size_t prefix = db_layout::traits(format_version).prefix_size;
    std::vector<uint8_t> file(prefix + body.size());
    if (wide)
        std::memcpy(file.data(), db_layout::kMagic, db_layout::kMagicSize);
    std::memcpy(file.data() + prefix, body.data(), body.size());
    restamp_digest(&file);
    return file;
}

std::vector<uint8_t> build_db_from_texts(int32_t format_version,
                                         const std::vector<TextRange>& ranges) {
    std::map<std::string, uint32_t> index_of;
    std::vector<std::string> texts;
    auto intern = [&](const std::string& t) {
        auto found = index_of.find(t);
        if (found != index_of.end())
            return found->second;
        texts.push_back(t);
        index_of[t] = uint32_t(texts.size() - 1);
        return uint32_t(texts.size() - 1);
    };
    std::vector<TestRange> entries;
    for (const TextRange& r : ranges) {
        uint32_t country = intern(r.country);
        uint32_t area = intern(r.area);
        entries.push_back({r.start_ip, r.end_ip, country, area});
    }
    return build_db(format_version, entries, texts);
}

size_t body_offset(const std::vector<uint8_t>& file) {
    bool has_magic = file.size() >= db_layout::kMagicSize &&
                     std::memcmp(file.data(), db_layout::kMagic, db_layout::kMagicSize) == 0;
    return db_layout::traits(has_magic ? db_layout::kFormatNew : db_layout::kFormatOld).prefix_size;
}

void restamp_digest(std::vector<uint8_t>* file) {
    size_t body = body_offset(*file);
    md5_digest(file->data() + body, file->size() - body,
               file->data() + body - db_layout::kDigestSize);
}
