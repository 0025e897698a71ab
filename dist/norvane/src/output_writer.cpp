#include "output_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "byte_order.h"
#include "db_layout.h"
#include "md5.h"

namespace {

constexpr size_t kChunkSize = 1 << 20;

// Number of texts the chosen layout can hold; the old layout's 16-bit indexes stop at 65,535.
int32_t texts_to_write(const LocationTable* table, int32_t format_version) {
    if (format_version == db_layout::kFormatOld &&
        uint32_t(table->location_count) >= db_layout::kOldMaxTextCount)
        return int32_t(db_layout::kOldMaxTextCount);
    return table->location_count;
}

uint64_t body_size(int32_t kept_count, const LocationTable* table, int32_t text_count,
                   int32_t format_version) {
    uint64_t texts = text_count > 0 ? table->entries[text_count - 1].end_offset : 0;
    return db_layout::header_size(format_version) +
           uint64_t(kept_count) * db_layout::range_entry_size(format_version) +
           uint64_t(text_count) * db_layout::kTextOffsetSize + texts;
}

uint8_t* put_index(uint8_t* p, int32_t format_version, uint32_t v) {
    if (format_version == db_layout::kFormatNew) {
        store_le32(p, v);
        return p + 4;
    }
    store_le16(p, uint16_t(v));
    return p + 2;
}

// Lays the body out in `body`, which holds exactly body_size() bytes.
void fill_body(uint8_t* body, const RangeRecord* records, int32_t kept_count,
               const LocationTable* table, int32_t text_count, int32_t format_version) {
    uint8_t* p = body;
    store_le32(p, uint32_t(format_version));
    store_le32(p + 4, uint32_t(kept_count));
    p = put_index(p + 8, format_version, uint32_t(text_count));
    for (int32_t i = 0; i < kept_count; ++i) {
        const RangeRecord& r = records[i];
        store_le32(p, r.start_ip);
        store_le32(p + 4, r.end_ip);
        p = put_index(p + 8, format_version, uint32_t(r.country_index));
        p = put_index(p, format_version, uint32_t(r.area_index));
    }
    for (int32_t j = 0; j < text_count; ++j, p += 4)
        store_le32(p, location_offset(table, j));
    for (int32_t j = 0; j < text_count; ++j) {
        const LocationEntry& e = table->entries[j];
        std::memcpy(p, e.text, size_t(e.length) + 1);
        p += e.length + 1;
    }
}

void digest_bytes(const uint8_t* data, uint64_t n, uint8_t digest[16]) {
    Md5Context ctx;
    md5_init(&ctx);
    while (n > 0) {
        uint32_t take = n > 0x40000000u ? 0x40000000u : uint32_t(n);
        md5_update(&ctx, data, take);
        data += take;
        n -= take;
    }
    md5_final(digest, &ctx);
}

bool write_all(FILE* f, const uint8_t* data, uint64_t n) {
    while (n > 0) {
        size_t take = n > kChunkSize ? kChunkSize : size_t(n);
        if (std::fwrite(data, 1, take, f) != take)
            return false;
        data += take;
        n -= take;
    }
    return true;
}

// Removes a partly written file, but never anything that is not a regular file (a device given
// as the output path stays).
void remove_if_regular(const char* path) {
    struct stat st;
    if (stat(path, &st) == 0 && S_ISREG(st.st_mode))
        std::remove(path);
}

// Reads the temporary file back and checks that it holds exactly the body: another run in the
// same folder may have replaced it meanwhile.
WriteStatus verify_temp(const char* temp_path, const uint8_t* body, uint64_t length) {
    FILE* f = std::fopen(temp_path, "rb");
    if (f == nullptr)
        return WRITE_TEMP_READ_FAILED;
    auto* chunk = static_cast<uint8_t*>(std::malloc(kChunkSize));
    if (chunk == nullptr) {
        std::fclose(f);
        return WRITE_OUT_OF_MEMORY;
    }
    WriteStatus status = WRITE_OK;
    uint64_t at = 0;
    for (;;) {
        size_t got = std::fread(chunk, 1, kChunkSize, f);
        if (got > length - at || std::memcmp(chunk, body + at, got) != 0) {
            status = WRITE_TEMP_CHANGED;
            break;
        }
        at += got;
        if (got < kChunkSize) {
            if (std::ferror(f))
                status = WRITE_TEMP_READ_FAILED;
            else if (at != length)
                status = WRITE_TEMP_CHANGED;
            break;
        }
    }
    std::free(chunk);
    std::fclose(f);
    return status;
}

WriteStatus write_final(const char* output_path, int32_t format_version, const uint8_t digest[16],
                        const uint8_t* body, uint64_t length) {
    FILE* f = std::fopen(output_path, "wb");
    if (f == nullptr)
        return WRITE_OUTPUT_OPEN_FAILED;
    bool ok = true;
    if (format_version == db_layout::kFormatNew)
        ok = std::fwrite(db_layout::kMagic, 1, db_layout::kMagicSize, f) == db_layout::kMagicSize;
    ok = ok && std::fwrite(digest, 1, db_layout::kDigestSize, f) == db_layout::kDigestSize;
    ok = ok && write_all(f, body, length);
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        remove_if_regular(output_path);
        return WRITE_OUTPUT_WRITE_FAILED;
    }
    return WRITE_OK;
}

} // namespace

WriteStatus write_output_database(SourceDatabase* db, int32_t kept_count, LocationTable* table,
                                  int32_t format_version, const char* output_path,
                                  const char* temp_path, WriteReport* report) {
    *report = WriteReport{false, 0};

    int32_t text_count = texts_to_write(table, format_version);
    uint64_t length = body_size(kept_count, table, text_count, format_version);
    if (length > uint64_t(SIZE_MAX))
        return WRITE_OUT_OF_MEMORY;
    auto* body = static_cast<uint8_t*>(std::malloc(size_t(length)));
    if (body == nullptr)
        return WRITE_OUT_OF_MEMORY;

    FILE* temp = std::fopen(temp_path, "wb");
    if (temp == nullptr) {
        std::free(body);
        return WRITE_TEMP_OPEN_FAILED;
    }
    if (format_version == db_layout::kFormatOld &&
        uint32_t(table->location_count) >= db_layout::kOldMaxTextCount) {
        // No kept range refers to a text beyond the limit (the merge dropped those ranges).
        report->text_limit_hit = true;
        report->discarded_texts = table->location_count - text_count;
        table->location_count = text_count;
    }
    fill_body(body, db->records, kept_count, table, text_count, format_version);
    uint8_t digest[16];
    digest_bytes(body, length, digest);

    bool written = write_all(temp, body, length);
    written = std::fflush(temp) == 0 && written;
    written = std::fclose(temp) == 0 && written;
    if (!written) {
        std::free(body);
        remove_if_regular(temp_path);
        return WRITE_TEMP_WRITE_FAILED;
    }
    // Every text is in the body now.
    release_source_image(db);

    WriteStatus status = verify_temp(temp_path, body, length);
    if (status == WRITE_OK)
        status = write_final(output_path, format_version, digest, body, length);
    std::free(body);
    if (status == WRITE_OK)
        remove_if_regular(temp_path);
    return status;
}
