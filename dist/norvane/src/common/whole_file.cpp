#include "common/whole_file.h"

#include <utility>

#include "common/platform_file.h"

WholeFileStatus load_whole_file(const char* path, uint64_t max_size, WholeFile* file) {
    *file = WholeFile{};
    PlatformFile handle;
    uint64_t size = 0;
    switch (pf_open_read(path, &handle, &size)) {
    case FILE_OK:
        break;
    case FILE_NOT_REGULAR:
        return WHOLE_FILE_NOT_REGULAR;
    default:
        return WHOLE_FILE_CANT_OPEN;
    }
    if (size > max_size || size > uint64_t(SIZE_MAX))
        return WHOLE_FILE_TOO_LARGE;
    MallocArray<uint8_t> bytes = malloc_array<uint8_t>(size_t(size));
    if (!bytes)
        return WHOLE_FILE_OUT_OF_MEMORY;
    // Exactly the size the file had when it was opened: a file that shrinks meanwhile fails, one
    // that grows is read only that far.
    int64_t got = pf_read(&handle, bytes.get(), size_t(size));
    if (got < 0 || uint64_t(got) != size)
        return WHOLE_FILE_CANT_READ;
    file->bytes = std::move(bytes);
    file->size = size_t(size);
    return WHOLE_FILE_OK;
}
