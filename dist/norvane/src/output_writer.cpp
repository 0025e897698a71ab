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

// Buffered writer that digests and counts exactly the bytes it hands to the file.
struct BodyStream {
    FILE* file;
    uint8_t* buffer;
    size_t used;
    uint64_t length;
    Md5Context md5;
    bool failed;
};

void flush_stream(BodyStream* s) {
    if (s->used == 0 || s->failed)
        return;
    if (std::fwrite(s->buffer, 1, s->used, s->file) != s->used)
        s->failed = true;
    md5_update(&s->md5, s->buffer, uint32_t(s->used));
    s->length += s->used;
    s->used = 0;
}

void put_bytes(BodyStream* s, const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (n > 0 && !s->failed) {
        size_t take = kChunkSize - s->used < n ? kChunkSize - s->used : n;
        std::memcpy(s->buffer + s->used, p, take);
        s->used += take;
        p += take;
        n -= take;
        if (s->used == kChunkSize)
            flush_stream(s);
    }
}

void put_u32(BodyStream* s, uint32_t v) {
    uint8_t b[4];
    store_le32(b, v);
    put_bytes(s, b, 4);
}

void put_u16(BodyStream* s, uint16_t v) {
    uint8_t b[2];
    store_le16(b, v);
    put_bytes(s, b, 2);
}

void put_index(BodyStream* s, int32_t format_version, uint32_t v) {
    if (format_version == db_layout::kFormatNew)
        put_u32(s, v);
    else
        put_u16(s, uint16_t(v));
}

void write_body(BodyStream* s, const RangeRecord* records, int32_t kept_count, LocationTable* table,
                int32_t format_version, WriteReport* report) {
    put_u32(s, uint32_t(format_version));
    put_u32(s, uint32_t(kept_count));
    if (format_version == db_layout::kFormatOld &&
        uint32_t(table->location_count) >= db_layout::kOldMaxTextCount) {
        // No kept range refers to a text beyond the limit (the merge dropped those ranges).
        report->text_limit_hit = true;
        report->discarded_texts = table->location_count - int32_t(db_layout::kOldMaxTextCount);
        table->location_count = int32_t(db_layout::kOldMaxTextCount);
    }
    put_index(s, format_version, uint32_t(table->location_count));
    for (int32_t i = 0; i < kept_count; ++i) {
        const RangeRecord& r = records[i];
        put_u32(s, r.start_ip);
        put_u32(s, r.end_ip);
        put_index(s, format_version, uint32_t(r.country_index));
        put_index(s, format_version, uint32_t(r.area_index));
    }
    for (int32_t j = 0; j < table->location_count; ++j)
        put_u32(s, location_offset(table, j));
    for (int32_t j = 0; j < table->location_count; ++j) {
        const LocationEntry& e = table->entries[j];
        put_bytes(s, e.text, size_t(e.length) + 1);
    }
    flush_stream(s);
}

void digest_bytes(Md5Context* ctx, const uint8_t* data, uint64_t n) {
    while (n > 0) {
        uint32_t take = n > 0x40000000u ? 0x40000000u : uint32_t(n);
        md5_update(ctx, data, take);
        data += take;
        n -= take;
    }
}

// Removes a partly written file, but never anything that is not a regular file (a device given
// as the output path stays).
void remove_if_regular(const char* path) {
    struct stat st;
    if (stat(path, &st) == 0 && S_ISREG(st.st_mode))
        std::remove(path);
}

// Reads the whole temporary file back into a new buffer of exactly `length` bytes.
WriteStatus read_back(const char* temp_path, uint64_t length, uint8_t** body) {
    *body = nullptr;
    if (length > uint64_t(SIZE_MAX) - 1)
        return WRITE_OUT_OF_MEMORY;
    FILE* f = std::fopen(temp_path, "rb");
    if (f == nullptr)
        return WRITE_TEMP_READ_FAILED;
    auto* buffer = static_cast<uint8_t*>(std::malloc(size_t(length) + 1));
    if (buffer == nullptr) {
        std::fclose(f);
        return WRITE_OUT_OF_MEMORY;
    }
    size_t got = std::fread(buffer, 1, size_t(length), f);
    // One byte more than written means the file has grown since: not our body.
    size_t extra = std::fread(buffer + got, 1, 1, f);
    bool read_error = std::ferror(f) != 0;
    std::fclose(f);
    if (read_error) {
        std::free(buffer);
        return WRITE_TEMP_READ_FAILED;
    }
    if (got != size_t(length) || extra != 0) {
        std::free(buffer);
        return WRITE_TEMP_CHANGED;
    }
    *body = buffer;
    return WRITE_OK;
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
    ok = ok && std::fwrite(body, 1, size_t(length), f) == size_t(length);
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

    BodyStream s{};
    s.buffer = static_cast<uint8_t*>(std::malloc(kChunkSize));
    if (s.buffer == nullptr)
        return WRITE_OUT_OF_MEMORY;
    s.file = std::fopen(temp_path, "wb");
    if (s.file == nullptr) {
        std::free(s.buffer);
        return WRITE_TEMP_OPEN_FAILED;
    }
    md5_init(&s.md5);
    write_body(&s, db->records, kept_count, table, format_version, report);
    std::free(s.buffer);
    bool written = !s.failed && std::fflush(s.file) == 0;
    written = std::fclose(s.file) == 0 && written;
    if (!written) {
        remove_if_regular(temp_path);
        return WRITE_TEMP_WRITE_FAILED;
    }
    uint8_t written_digest[16];
    md5_final(written_digest, &s.md5);

    // Every text is on disk now; the image goes before the body buffer is allocated.
    release_source_image(db);

    uint8_t* body = nullptr;
    WriteStatus status = read_back(temp_path, s.length, &body);
    if (status != WRITE_OK)
        return status;

    uint8_t digest[16];
    Md5Context ctx;
    md5_init(&ctx);
    digest_bytes(&ctx, body, s.length);
    md5_final(digest, &ctx);
    if (std::memcmp(digest, written_digest, sizeof digest) != 0) {
        std::free(body);
        return WRITE_TEMP_CHANGED;
    }

    status = write_final(output_path, format_version, digest, body, s.length);
    std::free(body);
    if (status != WRITE_OK)
        return status;
    remove_if_regular(temp_path);
    return WRITE_OK;
}
