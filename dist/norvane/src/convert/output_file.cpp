#include "convert/output_file.h"

#include <cstring>
#include <string>

#include "common/memory.h"
#include "common/platform_file.h"

namespace {

constexpr size_t kChunkSize = size_t(1) << 20;

bool write_parts(PlatformFile* file, const uint8_t* prefix, size_t prefix_length,
                 const uint8_t* body, size_t length) {
    return pf_write(file, prefix, prefix_length) && pf_write(file, body, length) && pf_sync(file);
}

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

FileStageStatus replace_output_file(const char* output_path, const uint8_t* prefix,
                                    size_t prefix_length, const uint8_t* body, size_t length) {
    // A link stays a link: the file it leads to is the one replaced.
    std::string target = pf_resolve_links(output_path);
    switch (pf_path_kind(target.c_str())) {
    case PATH_MISSING:
        break;
    case PATH_REGULAR:
        if (pf_check_writable(target.c_str()) != FILE_OK)
            return STAGE_OPEN_FAILED;
        break;
    case PATH_DIRECTORY:
    case PATH_LINK: // a loop of links
    case PATH_OTHER:
        return STAGE_OPEN_FAILED;
    }

    // Preferred: a file without a name, named only when complete.
    PlatformFile file;
    std::string temp;
    bool named = false;
    if (pf_create_unnamed(pf_dirname(target).c_str(), &file) == FILE_OK) {
        pf_copy_mode(target.c_str(), &file);
        bool ok = write_parts(&file, prefix, prefix_length, body, length);
        if (!ok)
            return STAGE_WRITE_FAILED;
        for (int attempt = 0; attempt < 10 && !named; ++attempt) {
            temp = pf_sibling_temp_name(target);
            pf_guard_name(temp.c_str());
            named = pf_link_unnamed(&file, temp.c_str());
            if (!named)
                pf_unguard_name();
        }
        ok = pf_close(&file);
        if (named && !ok) {
            pf_remove(temp.c_str());
            pf_unguard_name();
            return STAGE_WRITE_FAILED;
        }
    }
    if (!named) {
        // A named file created exclusively beside the output; removed on failure and on the
        // signals that can be caught.
        FileStatus created = FILE_EXISTS;
        for (int attempt = 0; attempt < 100 && created == FILE_EXISTS; ++attempt) {
            temp = pf_sibling_temp_name(target);
            pf_guard_name(temp.c_str());
            created = pf_create_new(temp.c_str(), &file);
            if (created != FILE_OK)
                pf_unguard_name();
        }
        if (created != FILE_OK)
            return STAGE_OPEN_FAILED;
        pf_copy_mode(target.c_str(), &file);
        bool ok = write_parts(&file, prefix, prefix_length, body, length);
        ok = pf_close(&file) && ok;
        if (!ok) {
            pf_remove(temp.c_str());
            pf_unguard_name();
            return STAGE_WRITE_FAILED;
        }
    }
    bool replaced = pf_replace(temp.c_str(), target.c_str());
    if (!replaced)
        pf_remove(temp.c_str());
    pf_unguard_name();
    return replaced ? STAGE_OK : STAGE_WRITE_FAILED;
}
