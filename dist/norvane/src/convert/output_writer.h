// Writes the output database: the body goes to a temporary file while it is digested, is read
// back and checked, and then lands at the output path behind the magic (new layout) and the
// digest.
#pragma once

#include <cstdint>

#include "convert/location_table.h"
#include "convert/source_reader.h"

constexpr char kTempFileName[] = "vornip.tmp";

enum WriteStatus {
    WRITE_OK = 0,
    WRITE_TEMP_OPEN_FAILED,    // the temporary file can't be created
    WRITE_TEMP_WRITE_FAILED,   // writing or closing the temporary file failed
    WRITE_TEMP_READ_FAILED,    // the temporary file can't be opened again or read back whole
    WRITE_TEMP_CHANGED,        // what was read back is not what was written
    WRITE_OUT_OF_MEMORY,       // no buffer for the body
    WRITE_TOO_LARGE,           // the body would be 4 GiB or more
    WRITE_OUTPUT_OPEN_FAILED,  // the output file can't be created
    WRITE_OUTPUT_WRITE_FAILED, // writing or closing the output file failed
};

struct WriteReport {
    bool text_limit_hit;     // old layout with 65,535 texts or more
    int32_t discarded_texts; // texts beyond 65,535 left out (old layout)
};

// Writes db->records[0 .. kept_count) and the table's texts. The body is laid out over the
// records (their block grown when the body is larger), so they no longer hold records afterwards.
// Releases db's source image once the body is on disk (the texts are not needed after that). The
// old layout may lower the table's location_count to 65,535. temp_path is kTempFileName for the
// program. Only a complete, verified database is left at output_path: on a failure after it was
// created it is removed.
WriteStatus write_output_database(SourceDatabase* db, int32_t kept_count, LocationTable* table,
                                  int32_t format_version, const char* output_path,
                                  const char* temp_path, WriteReport* report);
