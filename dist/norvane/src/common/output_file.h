// Files the programs write for the user: the converter's temporary body file (created
// exclusively, never through a link, read back and compared) and every final output (a converted
// database, an export), which is written to a new file in the output's folder, flushed to stable
// storage and renamed over the output path, so that the previous output stays whole until the
// new one is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/platform_file.h"

enum FileStageStatus {
    STAGE_OK = 0,
    STAGE_OPEN_FAILED,  // the file can't be created (or the output is not a writable file)
    STAGE_WRITE_FAILED, // writing, flushing, closing or renaming failed
    STAGE_READ_FAILED,  // the temporary file can't be opened again or read
    STAGE_CHANGED,      // the temporary file no longer holds what was written
    STAGE_NO_MEMORY,
};

// Creates temp_path exclusively (a stale file or link of that name is removed first where
// pf_remove_stale can; anything else there is refused) and writes the body to it. On a write
// failure the file is removed.
FileStageStatus write_temp_file(const char* temp_path, const uint8_t* body, size_t length);

// Reads temp_path back and compares it with the body.
FileStageStatus verify_temp_file(const char* temp_path, const uint8_t* body, size_t length);

// The final file while it is being written: created in the output's folder, without a name
// where the platform allows, named only when complete.
// A stage dropped before finish_output_file (a later check failed) leaves nothing behind.
struct OutputStage {
    PlatformFile file;
    std::string target; // the file replaced (output_path with its links followed)
    std::string temp;   // the stage's own name once it has one
    bool named = false;
    OutputStage() = default;
    OutputStage(const OutputStage&) = delete;
    OutputStage& operator=(const OutputStage&) = delete;
    ~OutputStage();
};

// Starts replacing the file that output_path names (links followed): creates the stage, writes
// the body behind prefix_length bytes left for the prefix, which may still be in the making, and
// starts writing it to storage. Nobody sees the stage before finish_output_file names it. The
// output must be a regular file the user may write, or not exist yet; a folder, device or pipe is
// refused with STAGE_OPEN_FAILED before anything is written. On a failure nothing of the stage is
// left behind.
FileStageStatus begin_output_file(const char* output_path, size_t prefix_length,
                                  const uint8_t* body, size_t length, OutputStage* stage);

// Writes the prefix in front of the body, flushes the file to stable storage and renames it
// over the output. On any failure the previous output is untouched and nothing of the stage is
// left behind.
FileStageStatus finish_output_file(OutputStage* stage, const uint8_t* prefix, size_t prefix_length,
                                   const uint8_t* body, size_t length);

// Drops a stage that begin_output_file made: nothing of it is left, and the output is untouched.
void drop_output_file(OutputStage* stage);

// For an output made piece by piece, too large to be held whole: the stage is a named file
// beside the output from the start (an unnamed one that could not be named at the end could not
// be written again). Each piece starts on its way to storage as it is written;
// finish_output_file(stage, nullptr, 0, nullptr, 0) flushes and renames the stage, and a stage
// dropped before that leaves nothing behind. A failed append drops the stage.
FileStageStatus begin_output_stream(const char* output_path, OutputStage* stage);
FileStageStatus append_output_stream(OutputStage* stage, const uint8_t* data, size_t length);

// Both steps at once: the output replaced by prefix followed by the body.
FileStageStatus replace_output_file(const char* output_path, const uint8_t* prefix,
                                    size_t prefix_length, const uint8_t* body, size_t length);
