#include "common/output_file.h"

#include <cstring>
#include <string>

#include "common/memory.h"
#include "common/platform_file.h"

namespace {

// Read back a quarter megabyte at a time: small enough to stay out of the huge-page blocks.
constexpr size_t kChunkSize = size_t(1) << 18;
constexpr size_t kFlushStep = size_t(2) << 20;

} // namespace

FileStageStatus write_temp_file(const char* temp_path, const uint8_t* body, size_t length) {
    PlatformFile file;
    FileStatus created = pf_create_new(temp_path, &file);
    if (created == FILE_EXISTS) {
        // Left by an earlier run, or planted: never written through. Removed where that is
        // safe, refused otherwise.
        if (!pf_remove_stale(temp_path))
            return STAGE_OPEN_FAILED;
        created = pf_create_new(temp_path, &file);
    }
    if (created != FILE_OK)
        return STAGE_OPEN_FAILED;
    bool ok = pf_write(&file, body, length);
    ok = pf_close(&file) && ok;
    if (!ok) {
        pf_remove(temp_path);
        return STAGE_WRITE_FAILED;
    }
    return STAGE_OK;
}

FileStageStatus verify_temp_file(const char* temp_path, const uint8_t* body, size_t length) {
    PlatformFile file;
    uint64_t size = 0;
    FileStatus opened = pf_open_read(temp_path, &file, &size);
    if (opened == FILE_NOT_REGULAR)
        return STAGE_CHANGED;
    if (opened != FILE_OK)
        return STAGE_READ_FAILED;
    if (size != length)
        return STAGE_CHANGED;
    MallocArray<uint8_t> chunk = malloc_array<uint8_t>(kChunkSize);
    if (!chunk)
        return STAGE_NO_MEMORY;
    size_t at = 0;
    for (;;) {
        int64_t got = pf_read(&file, chunk.get(), kChunkSize);
        if (got < 0)
            return STAGE_READ_FAILED;
        size_t n = size_t(got);
        if (n > length - at || std::memcmp(chunk.get(), body + at, n) != 0)
            return STAGE_CHANGED;
        at += n;
        if (n < kChunkSize)
            return at == length ? STAGE_OK : STAGE_CHANGED;
    }
}

namespace {

// A named file created exclusively beside the target; removed on failure and on the signals
// that can be caught.
FileStageStatus create_named_stage(OutputStage* stage) {
    FileStatus created = FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && created == FILE_EXISTS; ++attempt) {
        stage->temp = pf_sibling_temp_name(stage->target);
        pf_guard_name(stage->temp.c_str());
        created = pf_create_new(stage->temp.c_str(), &stage->file);
        if (created != FILE_OK)
            pf_unguard_name();
    }
    if (created != FILE_OK)
        return STAGE_OPEN_FAILED;
    stage->named = true;
    pf_copy_mode(stage->target.c_str(), &stage->file);
    return STAGE_OK;
}

// Drops the stage: an unnamed file vanishes as it closes, a named one is removed.
void drop_stage(OutputStage* stage) {
    stage->file = PlatformFile();
    if (stage->named) {
        pf_remove(stage->temp.c_str());
        pf_unguard_name();
        stage->named = false;
    }
}

FileStageStatus abandon_stage(OutputStage* stage, FileStageStatus status) {
    drop_stage(stage);
    return status;
}

// The body behind room for the prefix; the room is filled once the prefix is known.
// Each part of the body starts on its way to storage as soon as it is written, while the rest
// is still being written and the prefix is still in the making: the flush at the end then has
// little left to wait for.
bool write_body(PlatformFile* file, size_t prefix_length, const uint8_t* body, size_t length) {
    uint8_t room[64] = {};
    if (prefix_length > sizeof room || !pf_write(file, room, prefix_length))
        return false;
    for (size_t at = 0; at < length; at += kFlushStep) {
        size_t n = length - at < kFlushStep ? length - at : kFlushStep;
        if (!pf_write(file, body + at, n))
            return false;
        pf_start_flush(file);
    }
    return true;
}

} // namespace

OutputStage::~OutputStage() {
    drop_stage(this);
}

void drop_output_file(OutputStage* stage) {
    drop_stage(stage);
}

namespace {

// Where the stage goes: the file output_path names, links followed. The output must be a regular
// file the user may write, or not exist yet. Leftovers of dead runs beside it are removed.
FileStageStatus find_target(const char* output_path, OutputStage* stage) {
    // A link stays a link: the file it leads to is the one replaced.
    stage->target = pf_resolve_links(output_path);
    stage->named = false;
    switch (pf_path_kind(stage->target.c_str())) {
    case PATH_MISSING:
        break;
    case PATH_REGULAR:
        if (pf_check_writable(stage->target.c_str()) != FILE_OK)
            return STAGE_OPEN_FAILED;
        break;
    case PATH_DIRECTORY:
    case PATH_LINK: // a loop of links
    case PATH_OTHER:
        return STAGE_OPEN_FAILED;
    }
    pf_remove_dead_siblings(stage->target);
    return STAGE_OK;
}

} // namespace

FileStageStatus begin_output_stream(const char* output_path, OutputStage* stage) {
    FileStageStatus found = find_target(output_path, stage);
    return found == STAGE_OK ? create_named_stage(stage) : found;
}

FileStageStatus append_output_stream(OutputStage* stage, const uint8_t* data, size_t length) {
    if (!pf_write(&stage->file, data, length))
        return abandon_stage(stage, STAGE_WRITE_FAILED);
    pf_start_flush(&stage->file);
    return STAGE_OK;
}

FileStageStatus begin_output_file(const char* output_path, size_t prefix_length,
                                  const uint8_t* body, size_t length, OutputStage* stage) {
    FileStageStatus found = find_target(output_path, stage);
    if (found != STAGE_OK)
        return found;

    // Preferred: a file without a name, named only when complete.
    if (pf_create_unnamed(pf_dirname(stage->target).c_str(), &stage->file) == FILE_OK) {
        pf_copy_mode(stage->target.c_str(), &stage->file);
    } else {
        FileStageStatus created = create_named_stage(stage);
        if (created != STAGE_OK)
            return created;
    }
    if (!write_body(&stage->file, prefix_length, body, length))
        return abandon_stage(stage, STAGE_WRITE_FAILED);
    return STAGE_OK;
}

FileStageStatus finish_output_file(OutputStage* stage, const uint8_t* prefix, size_t prefix_length,
                                   const uint8_t* body, size_t length) {
    if (!pf_write_at(&stage->file, 0, prefix, prefix_length) || !pf_sync(&stage->file))
        return abandon_stage(stage, STAGE_WRITE_FAILED);
    if (!stage->named) {
        for (int attempt = 0; attempt < 10 && !stage->named; ++attempt) {
            stage->temp = pf_sibling_temp_name(stage->target);
            pf_guard_name(stage->temp.c_str());
            stage->named = pf_link_unnamed(&stage->file, stage->temp.c_str());
            if (!stage->named)
                pf_unguard_name();
        }
        if (!stage->named) {
            // The unnamed file can't be given a name here: written again as a named file.
            stage->file = PlatformFile();
            FileStageStatus created = create_named_stage(stage);
            if (created != STAGE_OK)
                return created;
            if (!pf_write(&stage->file, prefix, prefix_length) ||
                !pf_write(&stage->file, body, length) || !pf_sync(&stage->file))
                return abandon_stage(stage, STAGE_WRITE_FAILED);
        }
    }
    if (!pf_close(&stage->file))
        return abandon_stage(stage, STAGE_WRITE_FAILED);
    bool replaced = pf_replace(stage->temp.c_str(), stage->target.c_str());
    if (!replaced)
        pf_remove(stage->temp.c_str());
    pf_unguard_name();
    stage->named = false;
    return replaced ? STAGE_OK : STAGE_WRITE_FAILED;
}

FileStageStatus replace_output_file(const char* output_path, const uint8_t* prefix,
                                    size_t prefix_length, const uint8_t* body, size_t length) {
    OutputStage stage;
    FileStageStatus status = begin_output_file(output_path, prefix_length, body, length, &stage);
    if (status != STAGE_OK)
        return status;
    return finish_output_file(&stage, prefix, prefix_length, body, length);
}
