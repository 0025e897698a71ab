// One in-place pass over the source ranges: skips sentinels, drops ranges that start inside the
// range kept before them, joins continuations with equal texts, and interns the texts of every
// kept range.
#pragma once

#include <cstdint>

#include "convert/location_table.h"
#include "convert/source_reader.h"
#include "convert/text_labels.h"

enum MergeStatus {
    MERGE_OK = 0,
    MERGE_TABLE_FULL, // more distinct texts than the LocationTable may hold
    MERGE_OUT_OF_MEMORY,
    MERGE_TOO_LARGE, // the texts would need a text area of 4 GiB or more
};

// On MERGE_OK *kept_count is the number of kept ranges, which stand first in records, their text
// fields now LocationTable indexes. The records' texts are in image. labels, when given, are
// those that label_texts put in the records' text fields; without them every text is interned by
// its bytes (same result, slower on large sources).
MergeStatus merge_ranges(RangeRecord* records, int32_t record_count, int32_t format_version,
                         const uint8_t* image, const TextLabels* labels, LocationTable* table,
                         int32_t* kept_count);

// The program's merge: labels the texts of db's records (label_texts), then merges with the
// labels. When the labels can't be had (memory is short) it merges without them.
MergeStatus merge_source_ranges(SourceDatabase* db, int32_t format_version, LocationTable* table,
                                int32_t* kept_count);
