#include "convert/output_writer.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "common/byte_order.h"
#include "common/db_layout.h"
#include "common/file_handle.h"
#include "common/md5.h"
#include "common/memory.h"

namespace {

constexpr size_t kChunkSize = 1 << 20;

// Number of texts the chosen layout can hold; the old layout's 16-bit indexes stop at 65,535.
bool text_limit_hit(const LocationTable* table, const db_layout::LayoutTraits& layout) {
    return uint32_t(table->location_count) >= layout.text_limit;
}

int32_t texts_to_write(const LocationTable* table, const db_layout::LayoutTraits& layout) {
    if (text_limit_hit(table, layout))
        return int32_t(layout.text_limit);
    return table->location_count;
}

uint64_t body_size(int32_t kept_count, const LocationTable* table, int32_t text_count,
                   const db_layout::LayoutTraits& layout) {
    uint64_t texts = text_count > 0 ? table->entries[size_t(text_count - 1)].end_offset : 0;
    return layout.header_size + uint64_t(kept_count) * layout.range_entry_size +
           uint64_t(text_count) * db_layout::kTextOffsetSize + texts;
}

uint8_t* put_index(uint8_t* p, const db_layout::LayoutTraits& layout, uint32_t v) {
    if (layout.index_width == 4) {
        store_le32(p, v);
        return p + 4;
    }
    store_le16(p, uint16_t(v));
    return p + 2;
}

// Lays the body out in `body`, which holds exactly body_size() bytes.
void fill_body(uint8_t* body, const RangeRecord* records, int32_t kept_count,
               const LocationTable* table, int32_t text_count,
               const db_layout::LayoutTraits& layout) {
    uint8_t* p = body;
    store_le32(p, uint32_t(layout.format_version));
    store_le32(p + 4, uint32_t(kept_count));
    p = put_index(p + 8, layout, uint32_t(text_count));
    for (int32_t i = 0; i < kept_count; ++i) {
        const RangeRecord& r = records[i];
        store_le32(p, r.start_ip);
        store_le32(p + 4, r.end_ip);
        p = put_index(p + 8, layout, uint32_t(r.country_index));
        p = put_index(p, layout, uint32_t(r.area_index));
    }
    for (int32_t j = 0; j < text_count; ++j, p += 4)
        store_le32(p, location_offset(table, j));
    for (int32_t j = 0; j < text_count; ++j) {
        const LocationEntry& e = table->entries[size_t(j)];
        std::memcpy(p, e.text, size_t(e.length) + 1);
        p += e.length + 1;
    }
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
    FileHandle f = open_file(temp_path, "rb");
    if (!f)
        return WRITE_TEMP_READ_FAILED;
    MallocArray<uint8_t> chunk = malloc_array<uint8_t>(kChunkSize);
    if (!chunk)
        return WRITE_OUT_OF_MEMORY;
    uint64_t at = 0;
    for (;;) {
        size_t got = std::fread(chunk.get(), 1, kChunkSize, f.get());
        if (got > length - at || std::memcmp(chunk.get(), body + at, got) != 0)
            return WRITE_TEMP_CHANGED;
        at += got;
        if (got < kChunkSize) {
            if (std::ferror(f.get()))
                return WRITE_TEMP_READ_FAILED;
            return at != length ? WRITE_TEMP_CHANGED : WRITE_OK;
        }
    }
}

WriteStatus write_final(const char* output_path, const db_layout::LayoutTraits& layout,
                        const uint8_t digest[16], const uint8_t* body, uint64_t length) {
    FileHandle f = open_file(output_path, "wb");
    if (!f)
        return WRITE_OUTPUT_OPEN_FAILED;
    bool ok = true;
    if (layout.has_magic)
        ok = std::fwrite(db_layout::kMagic, 1, db_layout::kMagicSize, f.get()) ==
             db_layout::kMagicSize;
    ok = ok && std::fwrite(digest, 1, db_layout::kDigestSize, f.get()) == db_layout::kDigestSize;
    ok = ok && write_all(f.get(), body, length);
    ok = close_file(&f) && ok;
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
    const db_layout::LayoutTraits& layout = db_layout::traits(format_version);

    int32_t text_count = texts_to_write(table, layout);
    uint64_t length = body_size(kept_count, table, text_count, layout);
    if (length > uint64_t(SIZE_MAX))
        return WRITE_OUT_OF_MEMORY;
    MallocArray<uint8_t> body = malloc_array<uint8_t>(size_t(length));
    if (!body)
        return WRITE_OUT_OF_MEMORY;

    FileHandle temp = open_file(temp_path, "wb");
    if (!temp)
        return WRITE_TEMP_OPEN_FAILED;
    if (text_limit_hit(table, layout)) {
        // No kept range refers to a text beyond the limit (the merge dropped those ranges).
        report->text_limit_hit = true;
        report->discarded_texts = table->location_count - text_count;
        table->location_count = text_count;
    }
    fill_body(body.get(), db->records.get(), kept_count, table, text_count, layout);
    uint8_t digest[16];
    md5_digest(body.get(), size_t(length), digest);

    bool written = write_all(temp.get(), body.get(), length);
    written = close_file(&temp) && written;
    if (!written) {
        remove_if_regular(temp_path);
        return WRITE_TEMP_WRITE_FAILED;
    }
    // Every text is in the body now.
    release_source_image(db);

    WriteStatus status = verify_temp(temp_path, body.get(), length);
    if (status == WRITE_OK)
        status = write_final(output_path, layout, digest, body.get(), length);
    if (status == WRITE_OK)
        remove_if_regular(temp_path);
    return status;
}
