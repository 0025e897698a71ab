#include "convert/output_writer.h"

#include <atomic>
#include <cstring>

#include "common/byte_order.h"
#include "common/db_layout.h"
#include "common/md5.h"
#include "common/memory.h"
#include "common/platform_file.h"
#include "convert/background_task.h"
#include "common/output_file.h"

namespace {

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

// The body is laid out over the records it is made from: entry i ends before record i + 2
// begins when the header and an entry each take no more than a record, and fill_body reads one
// record ahead. (Both layouts qualify; the check keeps it so.)
static_assert(sizeof(RangeRecord) == 16, "the body is laid out over 16-byte records");
bool fits_over_records(const db_layout::LayoutTraits& layout) {
    return layout.header_size <= sizeof(RangeRecord) &&
           layout.range_entry_size <= sizeof(RangeRecord);
}

// How far the body is laid out: the digest follows behind on the second core.
struct FillProgress {
    std::atomic<size_t> done{0};
};

// The digest is told of progress about every this many bytes.
constexpr size_t kPublishStep = size_t(1) << 18;

void publish(FillProgress* progress, const uint8_t* body, const uint8_t* p,
             const uint8_t** published) {
    if (size_t(p - *published) >= kPublishStep) {
        progress->done.store(size_t(p - body), std::memory_order_release);
        *published = p;
    }
}

// Lays the body out in `body`, which holds exactly body_size() bytes and may be the records'
// own block, front to back, telling `progress` how far it has got. Each record is read before
// its bytes are overwritten: the header overlaps record 0, which is read first, and entry i
// overlaps records i and i + 1, which are read before it is written.
void fill_body(uint8_t* body, size_t size, const RangeRecord* records, int32_t kept_count,
               const LocationTable* table, int32_t text_count,
               const db_layout::LayoutTraits& layout, FillProgress* progress) {
    RangeRecord next = kept_count > 0 ? records[0] : RangeRecord{};
    store_le32(body, uint32_t(layout.format_version));
    store_le32(body + 4, uint32_t(kept_count));
    put_index(body + 8, layout, uint32_t(text_count));
    uint8_t* p = body + layout.header_size;
    const uint8_t* published = body;
    for (int32_t i = 0; i < kept_count; ++i) {
        const RangeRecord r = next;
        if (i + 1 < kept_count)
            next = records[i + 1];
        store_le32(p, r.start_ip);
        store_le32(p + 4, r.end_ip);
        p = put_index(p + 8, layout, r.country);
        p = put_index(p, layout, r.area);
        publish(progress, body, p, &published);
    }
    for (int32_t j = 0; j < text_count; ++j, p += 4)
        store_le32(p, location_offset(table, j));
    for (int32_t j = 0; j < text_count; ++j) {
        const LocationEntry& e = table->entries[size_t(j)];
        std::memcpy(p, e.text, size_t(e.length) + 1);
        p += e.length + 1;
        publish(progress, body, p, &published);
    }
    progress->done.store(size, std::memory_order_release);
}

WriteStatus from_stage(FileStageStatus status, WriteStatus open_failed, WriteStatus write_failed) {
    switch (status) {
    case STAGE_OK:
        return WRITE_OK;
    case STAGE_OPEN_FAILED:
        return open_failed;
    case STAGE_WRITE_FAILED:
        return write_failed;
    case STAGE_READ_FAILED:
        return WRITE_TEMP_READ_FAILED;
    case STAGE_CHANGED:
        return WRITE_TEMP_CHANGED;
    case STAGE_NO_MEMORY:
        return WRITE_OUT_OF_MEMORY;
    }
    return write_failed;
}

struct BodyDigest {
    const uint8_t* body;
    size_t size;
    const FillProgress* progress;
    uint8_t* digest; // 16 bytes
};

// Digests the body as far as it is laid out, waiting for the rest as it comes.
void digest_body(void* context) {
    const BodyDigest* d = static_cast<const BodyDigest*>(context);
    Md5Context md5;
    md5_init(&md5);
    size_t at = 0;
    while (at < d->size) {
        size_t ready = d->progress->done.load(std::memory_order_acquire);
        if (ready == at) {
            yield_thread();
            continue;
        }
        size_t n = ready - at < kPublishStep * 64 ? ready - at : kPublishStep * 64;
        md5_update(&md5, d->body + at, uint32_t(n));
        at += n;
    }
    md5_final(d->digest, &md5);
}

} // namespace

WriteStatus write_output_database(SourceDatabase* db, int32_t kept_count, LocationTable* table,
                                  int32_t format_version, const char* output_path,
                                  const char* temp_path, WriteReport* report) {
    *report = WriteReport{false, 0};
    const db_layout::LayoutTraits& layout = db_layout::traits(format_version);

    int32_t text_count = texts_to_write(table, layout);
    uint64_t length = body_size(kept_count, table, text_count, layout);
    // Checked before anything is allocated: the layout's sizes and offsets are 32 bits wide.
    if (length > UINT32_MAX)
        return WRITE_TOO_LARGE;
    if (length > uint64_t(SIZE_MAX))
        return WRITE_OUT_OF_MEMORY;
    // The records are not needed once the body is laid out, and their block is about as large
    // as the body: reusing it (grown when the texts make the body larger) spares touching as many
    // fresh pages again.
    MallocArray<uint8_t> own_body;
    uint8_t* body = nullptr;
    if (fits_over_records(layout)) {
        size_t records_needed = size_t((length + sizeof(RangeRecord) - 1) / sizeof(RangeRecord));
        if (records_needed > db->record_room) {
            if (!realloc_array(&db->records, records_needed))
                return WRITE_OUT_OF_MEMORY;
            db->record_room = records_needed;
        }
        body = reinterpret_cast<uint8_t*>(db->records.get());
    } else {
        own_body = malloc_array<uint8_t>(size_t(length));
        if (!own_body)
            return WRITE_OUT_OF_MEMORY;
        body = own_body.get();
    }

    size_t size = size_t(length);

    // The digest is computed on the second core, following the layout of the body and then
    // while this core writes the final file's body and the temporary file and reads the latter
    // back: only the final file's front needs the digest.
    uint8_t prefix[db_layout::kMagicSize + db_layout::kDigestSize];
    size_t prefix_length = 0;
    if (layout.has_magic) {
        std::memcpy(prefix, db_layout::kMagic, db_layout::kMagicSize);
        prefix_length = db_layout::kMagicSize;
    }
    FillProgress progress;
    BodyDigest digest{body, size, &progress, prefix + prefix_length};
    prefix_length += db_layout::kDigestSize;
    BackgroundTask digesting;
    bool following = start_thread(&digesting, digest_body, &digest);
    fill_body(body, size, db->records.get(), kept_count, table, text_count, layout, &progress);
    if (!following)
        start_task(&digesting, digest_body, &digest); // no second thread: the body is complete

    // The final file's body is written first (unnamed, or under a name of its own) and started
    // towards storage, so that it is on its way while the temporary file is written and read
    // back and the digest may still be in the making; the digest goes in front, into the room
    // left for it, once it is known. It is named only after all of that.
    OutputStage final_file;
    WriteStatus begun =
        from_stage(begin_output_file(output_path, prefix_length, body, size, &final_file),
                   WRITE_OUTPUT_OPEN_FAILED, WRITE_OUTPUT_WRITE_FAILED);
    WriteStatus status = from_stage(write_temp_file(temp_path, body, size), WRITE_TEMP_OPEN_FAILED,
                                    WRITE_TEMP_WRITE_FAILED);
    if (status == WRITE_TEMP_WRITE_FAILED && begun == WRITE_OK) {
        // The disk may have room for only one of the two: the final file gives way, and is
        // written again after a complete temporary file, which is then the one left when space
        // runs out (the steps promise that order).
        drop_output_file(&final_file);
        status = from_stage(write_temp_file(temp_path, body, size), WRITE_TEMP_OPEN_FAILED,
                            WRITE_TEMP_WRITE_FAILED);
        if (status == WRITE_OK)
            begun =
                from_stage(begin_output_file(output_path, prefix_length, body, size, &final_file),
                           WRITE_OUTPUT_OPEN_FAILED, WRITE_OUTPUT_WRITE_FAILED);
    }
    if (status != WRITE_OK)
        return status;
    if (text_limit_hit(table, layout)) {
        // No kept range refers to a text beyond the limit (the merge dropped those ranges).
        report->text_limit_hit = true;
        report->discarded_texts = table->location_count - text_count;
        table->location_count = text_count;
    }
    // Every text is in the body now.
    release_source_image(db);

    status = from_stage(verify_temp_file(temp_path, body, size), WRITE_TEMP_READ_FAILED,
                        WRITE_TEMP_READ_FAILED);
    wait_task(&digesting);
    if (status != WRITE_OK)
        return status;
    if (begun != WRITE_OK)
        return begun;
    status = from_stage(finish_output_file(&final_file, prefix, prefix_length, body, size),
                        WRITE_OUTPUT_OPEN_FAILED, WRITE_OUTPUT_WRITE_FAILED);
    if (status == WRITE_OK)
        pf_remove(temp_path);
    return status;
}
