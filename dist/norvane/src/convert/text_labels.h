// Labels for the texts of the records, given before the merge: texts with the same bytes get the
// same label, and different texts different ones. The merge then compares and interns labels,
// which are small numbers, instead of texts met in no order: a text's bytes are hashed and
// compared once per distinct position in the source image, front to back, instead of once per
// record.
#pragma once

#include <cstdint>

#include "common/memory.h"
#include "convert/source_reader.h"

struct TextLabels {
    MallocArray<uint32_t> lengths;  // per label: the length of its text in bytes
    MallocArray<uint32_t> first_at; // per label: the first of its texts in the image
    int32_t label_count = 0;
};

enum LabelStatus {
    LABEL_OK = 0,
    LABEL_OUT_OF_MEMORY,
    LABEL_FOREIGN_TEXT, // a text is neither the empty text nor inside the image
};

// Puts the labels of records[i]'s country and area texts in the place of their positions (the
// merge replaces them by LocationTable indexes). Every text must be the empty text or start
// inside image[0, size) and end with a zero byte inside it, as the source reader leaves them.
LabelStatus label_texts(RangeRecord* records, int32_t record_count, const uint8_t* image,
                        uint32_t size, TextLabels* labels);
