#include "convert/text_labels.h"

#include <cstring>
#include <utility>

#include "convert/background_task.h"
#include "convert/text_hash.h"

namespace {

// Texts are found by position: the offset of their first byte in the image, and one past the
// image's last byte for the empty text. The positions in use are bits of a bitmap; the number of
// bits set before a position (its rank) numbers the distinct positions densely, in image order.
struct PositionSet {
    MallocArray<uint64_t> bits;
    MallocArray<uint32_t> ranks; // per word: the bits set in the words before it
    size_t word_count = 0;
    uint32_t position_count = 0; // bits set in all
};

// Fewer records than this are not worth a second thread.
constexpr int32_t kParallelRecords = 1 << 16;

struct ImageSpan {
    const uint8_t* image;
    uint32_t size;
};

// The bit of the text at `at` (a record's text field): the empty text's is one past the image.
bool position_of(const ImageSpan& span, uint32_t at, uint32_t* position) {
    *position = at == kEmptyTextAt ? span.size : at;
    return at == kEmptyTextAt || at < span.size;
}

// Bits set in a word. Spelled out: the compiler's builtin is a library call on the baseline
// x86-64 the program is built for.
uint32_t count_bits(uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return uint32_t((x * 0x0101010101010101ull) >> 56);
}

uint32_t rank_of(const PositionSet& set, uint32_t position) {
    uint64_t below = set.bits[position >> 6] & ((uint64_t(1) << (position & 63)) - 1);
    return set.ranks[position >> 6] + count_bits(below);
}

// One half of the records, for the two passes that run on both cores.
struct RecordHalf {
    RangeRecord* records;
    int32_t begin, end;
    ImageSpan span;
    uint64_t* bits;           // marking: this half's own bitmap
    const PositionSet* set;   // labelling: the joined bitmap
    const uint32_t* label_at; // labelling: the label of each rank
    bool ok;
};

void mark_positions(void* context) {
    RecordHalf* half = static_cast<RecordHalf*>(context);
    half->ok = false;
    for (int32_t i = half->begin; i < half->end; ++i) {
        uint32_t country = 0, area = 0;
        if (!position_of(half->span, half->records[i].country, &country) ||
            !position_of(half->span, half->records[i].area, &area))
            return;
        half->bits[country >> 6] |= uint64_t(1) << (country & 63);
        half->bits[area >> 6] |= uint64_t(1) << (area & 63);
    }
    half->ok = true;
}

// Labels are looked up in two steps whose reads land in no order (the position's rank, then the
// rank's label), so each step is asked for early: the rank words of the record kAhead on, and
// the label of the record kAhead / 2 on, whose rank is computed then and kept in a ring.
constexpr int32_t kAhead = 16;

void ranks_of(const RecordHalf* half, const RangeRecord& r, uint32_t* out) {
    uint32_t country = 0, area = 0;
    position_of(half->span, r.country, &country);
    position_of(half->span, r.area, &area);
    out[0] = rank_of(*half->set, country);
    out[1] = rank_of(*half->set, area);
}

NORVANE_ALWAYS_INLINE void ask_for_words(const RecordHalf* half, const RangeRecord& r) {
    uint32_t country = 0, area = 0;
    position_of(half->span, r.country, &country);
    position_of(half->span, r.area, &area);
    prefetch_read(&half->set->bits[country >> 6]);
    prefetch_read(&half->set->ranks[country >> 6]);
    prefetch_read(&half->set->bits[area >> 6]);
    prefetch_read(&half->set->ranks[area >> 6]);
}

void write_labels(void* context) {
    const RecordHalf* half = static_cast<const RecordHalf*>(context);
    constexpr int32_t kRing = kAhead / 2;
    uint32_t ring[kRing][2] = {};
    int32_t begin = half->begin, end = half->end;
    for (int32_t i = begin; i < end && i < begin + kRing; ++i)
        ranks_of(half, half->records[i], ring[(i - begin) % kRing]);
    for (int32_t i = begin; i < end; ++i) {
        if (i + kAhead < end)
            ask_for_words(half, half->records[i + kAhead]);
        uint32_t* slot = ring[(i - begin) % kRing];
        RangeRecord& r = half->records[i];
        r.country = half->label_at[slot[0]];
        r.area = half->label_at[slot[1]];
        if (i + kRing < end) {
            ranks_of(half, half->records[i + kRing], slot);
            prefetch_read(&half->label_at[slot[0]]);
            prefetch_read(&half->label_at[slot[1]]);
        }
    }
}

// Marks the positions of every text, both halves of the records at once, and ranks them.
LabelStatus find_positions(RangeRecord* records, int32_t record_count, const ImageSpan& span,
                           PositionSet* set) {
    set->word_count = size_t(span.size) / 64 + 1; // one bit more than the image: the empty text
    set->bits = calloc_array<uint64_t>(set->word_count);
    MallocArray<uint64_t> second_bits = calloc_array<uint64_t>(set->word_count);
    set->ranks = malloc_array<uint32_t>(set->word_count);
    if (!set->bits || !second_bits || !set->ranks)
        return LABEL_OUT_OF_MEMORY;
    RecordHalf low{records, 0, record_count / 2, span, set->bits.get(), nullptr, nullptr, false};
    RecordHalf high = low;
    high.begin = low.end;
    high.end = record_count;
    high.bits = second_bits.get();
    run_both(mark_positions, &low, &high, record_count >= kParallelRecords);
    if (!low.ok || !high.ok)
        return LABEL_FOREIGN_TEXT;
    uint32_t rank = 0;
    for (size_t w = 0; w < set->word_count; ++w) {
        uint64_t word = set->bits[w] | second_bits[w];
        set->bits[w] = word;
        set->ranks[w] = rank;
        rank += count_bits(word);
    }
    set->position_count = rank;
    return LABEL_OK;
}

const char* text_at(const ImageSpan& span, uint32_t position) {
    return source_text(span.image, position == span.size ? kEmptyTextAt : position);
}

// The distinct texts met so far, by their bytes: open addressing over (hash, label + 1).
struct LabelSlot {
    uint32_t hash;
    uint32_t label_plus_one;
};

struct TextTable {
    MallocArray<LabelSlot> slots;
    uint32_t mask = 0;
    MallocArray<uint32_t> first_at; // per label: the position of the first text met with its bytes
    MallocArray<uint32_t> hashes;   // per label
    uint32_t count = 0;
};

constexpr uint32_t kInitialSlots = 1u << 12;

bool grow_table(TextTable* table) {
    uint32_t slot_count = table->mask == 0 ? kInitialSlots : (table->mask + 1) * 2;
    MallocArray<LabelSlot> slots = calloc_array<LabelSlot>(slot_count);
    if (!slots)
        return false;
    uint32_t mask = slot_count - 1;
    for (uint32_t label = 0; label < table->count; ++label) {
        uint32_t s = table->hashes[label] & mask;
        while (slots[s].label_plus_one != 0)
            s = (s + 1) & mask;
        slots[s] = LabelSlot{table->hashes[label], label + 1};
    }
    table->slots = std::move(slots);
    table->mask = mask;
    return true;
}

// The label of text, a new one when its bytes were not met before; UINT32_MAX when the table
// can't grow.
uint32_t label_of(TextTable* table, uint32_t* lengths, const ImageSpan& span, uint32_t position,
                  const char* text, uint32_t length, uint32_t hash) {
    uint32_t s = hash & table->mask;
    for (; table->slots[s].label_plus_one != 0; s = (s + 1) & table->mask) {
        if (table->slots[s].hash != hash)
            continue;
        uint32_t label = table->slots[s].label_plus_one - 1;
        if (lengths[label] == length &&
            std::memcmp(text_at(span, table->first_at[label]), text, length) == 0)
            return label;
    }
    uint32_t label = table->count++;
    table->slots[s] = LabelSlot{hash, label + 1};
    table->first_at[label] = position;
    table->hashes[label] = hash;
    lengths[label] = length;
    if (uint64_t(table->count) * 2 > uint64_t(table->mask) + 1 && !grow_table(table))
        return UINT32_MAX;
    return label;
}

// A text about to be labelled.
struct PendingText {
    const char* text;
    uint32_t position;
    uint32_t length;
    uint32_t hash;
};

// Texts are labelled a batch at a time: the batch's hashes first, then the table slots they
// need are asked for at once, so that their cache misses overlap instead of coming one by one.
constexpr uint32_t kBatch = 32;

// Labels every marked position in image order, so that the texts are read front to back.
LabelStatus label_positions(const PositionSet& set, const ImageSpan& span,
                            MallocArray<uint32_t>* label_at, TextLabels* labels) {
    uint32_t n = set.position_count;
    *label_at = malloc_array<uint32_t>(n);
    labels->lengths = malloc_array<uint32_t>(n); // at most one label per position
    TextTable table;
    table.first_at = malloc_array<uint32_t>(n);
    table.hashes = malloc_array<uint32_t>(n);
    if (!*label_at || !labels->lengths || !table.first_at || !table.hashes || !grow_table(&table))
        return LABEL_OUT_OF_MEMORY;
    PendingText batch[kBatch];
    uint32_t pending = 0, rank = 0;
    size_t w = 0;
    uint64_t word = set.word_count > 0 ? set.bits[0] : 0;
    while (rank < n) {
        // Gather the next batch of positions, each with its text's length and hash.
        for (pending = 0; pending < kBatch && rank + pending < n; ++pending) {
            while (word == 0)
                word = set.bits[++w];
            uint32_t position = uint32_t(w * 64) + uint32_t(__builtin_ctzll(word));
            word &= word - 1;
            const char* text = text_at(span, position);
            uint32_t length = uint32_t(std::strlen(text));
            uint32_t hash = hash_text(text, length);
            batch[pending] = PendingText{text, position, length, hash};
            prefetch_read(&table.slots[hash & table.mask]);
        }
        for (uint32_t k = 0; k < pending; ++k) {
            const PendingText& p = batch[k];
            uint32_t label =
                label_of(&table, labels->lengths.get(), span, p.position, p.text, p.length, p.hash);
            if (label == UINT32_MAX)
                return LABEL_OUT_OF_MEMORY;
            (*label_at)[rank++] = label;
        }
    }
    labels->first_at = std::move(table.first_at);
    for (uint32_t label = 0; label < table.count; ++label) {
        if (labels->first_at[label] == span.size)
            labels->first_at[label] = kEmptyTextAt;
    }
    labels->label_count = int32_t(table.count);
    return LABEL_OK;
}

} // namespace

LabelStatus label_texts(RangeRecord* records, int32_t record_count, const uint8_t* image,
                        uint32_t size, TextLabels* labels) {
    *labels = TextLabels{};
    ImageSpan span{image, size};
    PositionSet set;
    LabelStatus status = find_positions(records, record_count, span, &set);
    MallocArray<uint32_t> label_at;
    if (status == LABEL_OK)
        status = label_positions(set, span, &label_at, labels);
    if (status != LABEL_OK) {
        *labels = TextLabels{};
        return status;
    }
    RecordHalf low{records, 0, record_count / 2, span, nullptr, &set, label_at.get(), true};
    RecordHalf high = low;
    high.begin = low.end;
    high.end = record_count;
    run_both(write_labels, &low, &high, record_count >= kParallelRecords);
    return LABEL_OK;
}
