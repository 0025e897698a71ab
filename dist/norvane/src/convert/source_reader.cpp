#include "convert/source_reader.h"

#include <cstring>
#include <utility>

#include "common/byte_order.h"
#include "common/platform_file.h"
#include "convert/background_task.h"
#include "common/whole_file.h"

const char empty_text[1] = {0};

namespace {

constexpr uint32_t kHeaderSize = 8;
constexpr uint32_t kIndexEntrySize = 7;

// Bounds-checked view of the image. Every position the redirect rules reach is checked here
// before it is read; a failure marks the view bad and the load fails as a whole.
struct ImageView {
    const uint8_t* data;
    uint32_t size;
    // One past the image's last zero byte (0 when it has none): a text starting at p ends inside
    // the image exactly when p < text_limit, which saves scanning every text at load time.
    uint32_t text_limit;
    bool bad;
};

bool fits(const ImageView* v, uint32_t pos, uint32_t n) {
    return pos <= v->size && n <= v->size - pos;
}

uint8_t read_byte(ImageView* v, uint32_t pos) {
    if (!fits(v, pos, 1)) {
        v->bad = true;
        return 0;
    }
    return v->data[pos];
}

uint32_t read_u24(ImageView* v, uint32_t pos) {
    if (!fits(v, pos, 3)) {
        v->bad = true;
        return 0;
    }
    return load_le24(v->data + pos);
}

uint32_t read_u32(ImageView* v, uint32_t pos) {
    if (!fits(v, pos, 4)) {
        v->bad = true;
        return 0;
    }
    return load_le32(v->data + pos);
}

// The zero-terminated text at pos, returned as pos; its zero byte must lie inside the image.
// after_text, when given, receives the position behind that zero byte.
uint32_t text_at(ImageView* v, uint32_t pos, uint32_t* after_text) {
    if (pos >= v->text_limit) {
        v->bad = true;
        return kEmptyTextAt;
    }
    if (after_text)
        *after_text = pos + uint32_t(std::strlen(reinterpret_cast<const char*>(v->data + pos))) + 1;
    return pos;
}

uint32_t find_text_limit(const uint8_t* data, uint32_t size) {
    uint32_t i = size;
    while (i > 0 && data[i - 1] != 0)
        --i;
    return i;
}

bool is_redirect(uint8_t mode) {
    return mode == 1 || mode == 2;
}

// The area field at p: a text, or a redirect followed at most twice.
uint32_t resolve_area(ImageView* v, uint32_t p) {
    uint8_t m3 = read_byte(v, p);
    if (!is_redirect(m3))
        return text_at(v, p, nullptr);
    uint32_t z = read_u24(v, p + 1);
    uint8_t m4 = read_byte(v, z);
    if (is_redirect(m4))
        return text_at(v, read_u24(v, z + 1), nullptr);
    return text_at(v, z, nullptr);
}

// Resolves the country and area texts of the record at r.
void resolve_record(ImageView* v, uint32_t r, RangeRecord* rec) {
    uint32_t country_field = r + 4;
    uint8_t m1 = read_byte(v, country_field);
    if (!is_redirect(m1)) {
        uint32_t area_field = 0;
        rec->country = text_at(v, country_field, &area_field);
        rec->area = v->bad ? kEmptyTextAt : resolve_area(v, area_field);
        return;
    }
    uint32_t x = read_u24(v, r + 5);
    uint8_t m2 = read_byte(v, x);
    if (v->bad)
        return;
    if (m2 == 2) {
        rec->country = text_at(v, read_u24(v, x + 1), nullptr);
        rec->area = resolve_area(v, x + 4);
    } else if (m2 == 1) {
        rec->country = text_at(v, read_u24(v, x + 1), nullptr);
        rec->area = m1 == 1 ? kEmptyTextAt : resolve_area(v, r + 8);
    } else {
        // A location block at x: the country text, then its area field (every reader of this
        // layout takes the area from there when the record itself redirects with mode 1).
        uint32_t after_country = 0;
        rec->country = text_at(v, x, m1 == 1 ? &after_country : nullptr);
        if (v->bad)
            return;
        rec->area = resolve_area(v, m1 == 1 ? after_country : r + 8);
    }
}

// Index entries [begin, end) resolved into records; ok is false when one breaks the rules.
struct RecordSpan {
    ImageView view;
    const uint8_t* entries;
    RangeRecord* records;
    uint32_t begin, end;
    bool ok;
};

constexpr uint32_t kSplitCount = 1u << 16;

// Records lie in no order behind the index, and their redirects point anywhere: each entry's
// reads are asked for early, in three steps as the bytes that lead to them arrive. The record
// kAhead entries on; the redirect targets of the record kAhead / 2 on (its record has arrived
// by then); and the area redirect inside a location block kAhead / 4 on.
constexpr uint32_t kAhead = 16;

NORVANE_ALWAYS_INLINE void ask_for(const ImageView* v, uint32_t pos) {
    if (pos < v->size)
        prefetch_read(v->data + pos);
}

// The target of the redirect at pos, if there is one there.
NORVANE_ALWAYS_INLINE void ask_for_target(const ImageView* v, uint32_t pos) {
    if (fits(v, pos, 4) && is_redirect(v->data[pos]))
        ask_for(v, load_le24(v->data + pos + 1));
}

NORVANE_ALWAYS_INLINE void prefetch_record(const ImageView* v, const uint8_t* entry) {
    ask_for(v, load_le24(entry + 4));
}

NORVANE_ALWAYS_INLINE void prefetch_redirects(const ImageView* v, const uint8_t* entry) {
    uint32_t r = load_le24(entry + 4);
    ask_for_target(v, r + 4); // the country's redirect, or the block's
    ask_for_target(v, r + 8); // the area's redirect, when the record has one of its own
}

NORVANE_ALWAYS_INLINE void prefetch_block_area(const ImageView* v, const uint8_t* entry) {
    uint32_t r = load_le24(entry + 4);
    if (!fits(v, r + 4, 4) || v->data[r + 4] != 1)
        return;
    uint32_t x = load_le24(v->data + r + 5);
    if (fits(v, x, 4) && v->data[x] == 2)
        ask_for_target(v, x + 4);
}

void resolve_span(void* context) {
    RecordSpan* span = static_cast<RecordSpan*>(context);
    ImageView* v = &span->view;
    const uint8_t* entry = span->entries + size_t(span->begin) * kIndexEntrySize;
    for (uint32_t k = span->begin; k < span->end; ++k, entry += kIndexEntrySize) {
        if (k + kAhead < span->end)
            prefetch_record(v, entry + kAhead * kIndexEntrySize);
        if (k + kAhead / 2 < span->end)
            prefetch_redirects(v, entry + kAhead / 2 * kIndexEntrySize);
        if (k + kAhead / 4 < span->end)
            prefetch_block_area(v, entry + kAhead / 4 * kIndexEntrySize);
        RangeRecord* rec = &span->records[k];
        uint32_t r = load_le24(entry + 4);
        rec->start_ip = load_le32(entry);
        rec->end_ip = read_u32(v, r);
        rec->country = kEmptyTextAt;
        rec->area = kEmptyTextAt;
        if (!v->bad)
            resolve_record(v, r, rec);
        if (v->bad)
            return;
    }
    span->ok = true;
}

// A block for `count` records, with room beside them for a body as large as the records and the
// whole image together, which a body rarely exceeds; where that much can't be had, room for the
// records alone.
struct RecordBlock {
    MallocArray<RangeRecord> block;
    size_t room = 0;
    uint32_t count = 0;
};

RecordBlock allocate_records(uint32_t count, uint32_t image_size) {
    RecordBlock r;
    r.count = count;
    r.room = size_t(count) + image_size / sizeof(RangeRecord) + 4096;
    r.block = malloc_array<RangeRecord>(r.room);
    if (!r.block) {
        r.room = count;
        r.block = malloc_array<RangeRecord>(r.room);
    }
    return r;
}

// The number of records the header at data announces, or 0 when it can't be a valid one.
uint32_t announced_records(const uint8_t* data, uint32_t size) {
    if (size < kHeaderSize)
        return 0;
    uint32_t first = load_le32(data);
    uint32_t last = load_le32(data + 4);
    if (first >= last || size < kIndexEntrySize || last > size - kIndexEntrySize)
        return 0;
    return (last - first) / kIndexEntrySize + 1;
}

// `ready`, when it holds a block for as many records as the header announces, is taken instead
// of a new one.
LoadStatus build_records(SourceDatabase* db, RecordBlock* ready) {
    ImageView v = {db->image.get(), uint32_t(db->source_size), 0, false};
    v.text_limit = find_text_limit(v.data, v.size);
    uint32_t count = announced_records(v.data, v.size);
    if (count == 0)
        return LOAD_BAD_HEADER;
    uint32_t first = load_le32(v.data);
    RecordBlock own;
    if (ready == nullptr || !ready->block || ready->count != count) {
        own = allocate_records(count, v.size);
        ready = &own;
    }
    if (!ready->block)
        return LOAD_OUT_OF_MEMORY;
    MallocArray<RangeRecord> records = std::move(ready->block);
    size_t room = ready->room;

    // first < last <= size - 7, so every entry lies inside the image. Large indexes are
    // resolved in two halves at once, the second on another thread.
    const uint8_t* entries = v.data + first;
    RecordSpan low{v, entries, records.get(), 0, count, false};
    RecordSpan high = low;
    BackgroundTask second_half;
    if (count >= kSplitCount) {
        low.end = high.begin = count / 2;
        start_task(&second_half, resolve_span, &high);
    }
    resolve_span(&low);
    wait_task(&second_half);
    if (!low.ok || (count >= kSplitCount && !high.ok))
        return LOAD_BAD_RECORD;
    db->records = std::move(records);
    db->record_count = int32_t(count);
    db->record_room = room;
    return LOAD_OK;
}

LoadStatus finish_load(SourceDatabase* db, LoadStatus status, RecordBlock* ready = nullptr) {
    if (status == LOAD_OK)
        status = build_records(db, ready);
    if (status != LOAD_OK)
        *db = SourceDatabase{};
    return status;
}

} // namespace

// The records' pages, written once ahead of the resolve so that it finds them in place.
struct PageTouch {
    uint8_t* block;
    size_t size;
};

void touch_pages(void* context) {
    const PageTouch* touch = static_cast<const PageTouch*>(context);
    for (size_t at = 0; at < touch->size; at += 4096)
        touch->block[at] = 0;
}

// The record block made ready from the file's header, its pages touched on another core while
// this one reads the file. Only a head start: the header is checked again in the image.
bool prepare_records(const char* path, RecordBlock* ready, PageTouch* touch,
                     BackgroundTask* touching) {
    PlatformFile file;
    uint64_t size = 0;
    uint8_t header[kHeaderSize];
    if (pf_open_read(path, &file, &size) != FILE_OK || size > uint64_t(INT32_MAX) ||
        pf_read(&file, header, sizeof header) != int64_t(sizeof header))
        return false;
    uint32_t count = announced_records(header, uint32_t(size));
    if (count < kSplitCount)
        return false; // not worth another thread
    *ready = allocate_records(count, uint32_t(size));
    if (!ready->block)
        return false;
    *touch = PageTouch{reinterpret_cast<uint8_t*>(ready->block.get()),
                       size_t(count) * sizeof(RangeRecord)};
    return start_thread(touching, touch_pages, touch);
}

LoadStatus load_source_database(const char* path, SourceDatabase* db) {
    *db = SourceDatabase{};
    RecordBlock ready;
    PageTouch touch{};
    BackgroundTask touching;
    prepare_records(path, &ready, &touch, &touching);
    WholeFile file;
    WholeFileStatus loaded = load_whole_file(path, uint64_t(INT32_MAX), &file);
    wait_task(&touching);
    switch (loaded) {
    case WHOLE_FILE_OK:
        break;
    case WHOLE_FILE_CANT_OPEN:
        return LOAD_CANT_OPEN;
    case WHOLE_FILE_NOT_REGULAR:
        return LOAD_NOT_REGULAR;
    case WHOLE_FILE_CANT_READ:
        return LOAD_CANT_READ;
    case WHOLE_FILE_TOO_LARGE:
        return LOAD_TOO_LARGE;
    case WHOLE_FILE_OUT_OF_MEMORY:
        return LOAD_OUT_OF_MEMORY;
    }
    db->image = std::move(file.bytes);
    db->source_size = int32_t(file.size);
    return finish_load(db, LOAD_OK, &ready);
}

LoadStatus load_source_from_memory(const uint8_t* data, size_t size, SourceDatabase* db) {
    *db = SourceDatabase{};
    if (size > size_t(INT32_MAX))
        return LOAD_TOO_LARGE;
    db->image = malloc_array<uint8_t>(size);
    if (!db->image)
        return LOAD_OUT_OF_MEMORY;
    if (size > 0)
        std::memcpy(db->image.get(), data, size);
    db->source_size = int32_t(size);
    return finish_load(db, LOAD_OK);
}

void release_source_image(SourceDatabase* db) {
    db->image.reset();
    db->source_size = 0;
}
