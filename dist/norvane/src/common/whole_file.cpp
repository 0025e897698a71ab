#include "common/whole_file.h"

#include <cstdio>
#include <sys/stat.h>
#include <sys/types.h>

#include "common/file_handle.h"

#ifdef _WIN32
#include <io.h>
#endif

namespace {

constexpr size_t kChunk = size_t(1) << 20;

// The size of a regular file, or -1 for anything whose size is not known beforehand (pipes).
int64_t regular_size(std::FILE* f) {
#ifdef _WIN32
    struct _stat64 info;
    if (_fstat64(_fileno(f), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG)
        return -1;
#else
    struct stat info;
    if (fstat(fileno(f), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
#endif
    return int64_t(info.st_size);
}

WholeFileStatus read_known(std::FILE* f, uint64_t size, uint64_t max_size, WholeFile* file) {
    if (size > max_size || size > uint64_t(SIZE_MAX) - 1)
        return WHOLE_FILE_TOO_LARGE;
    file->bytes = malloc_array<uint8_t>(size_t(size));
    if (!file->bytes)
        return WHOLE_FILE_OUT_OF_MEMORY;
    size_t got = std::fread(file->bytes.get(), 1, size_t(size), f);
    if (got != size_t(size))
        return WHOLE_FILE_CANT_READ;
    file->size = got;
    return WHOLE_FILE_OK;
}

// Reads until end of file when the size is not known beforehand.
WholeFileStatus read_stream(std::FILE* f, uint64_t max_size, WholeFile* file) {
    size_t room = kChunk;
    file->bytes = malloc_array<uint8_t>(room);
    if (!file->bytes)
        return WHOLE_FILE_OUT_OF_MEMORY;
    size_t used = 0;
    for (;;) {
        if (used == room) {
            if (room > SIZE_MAX / 2)
                return WHOLE_FILE_TOO_LARGE;
            room *= 2;
            if (!realloc_array(&file->bytes, room))
                return WHOLE_FILE_OUT_OF_MEMORY;
        }
        size_t got = std::fread(file->bytes.get() + used, 1, room - used, f);
        used += got;
        if (used > max_size)
            return WHOLE_FILE_TOO_LARGE;
        if (got == 0)
            break;
    }
    if (std::ferror(f))
        return WHOLE_FILE_CANT_READ;
    file->size = used;
    return WHOLE_FILE_OK;
}

} // namespace

WholeFileStatus load_whole_file(const char* path, uint64_t max_size, WholeFile* file) {
    *file = WholeFile{};
    FileHandle f = open_file(path, "rb");
    if (!f)
        return WHOLE_FILE_CANT_OPEN;
    int64_t size = regular_size(f.get());
    WholeFileStatus status = size >= 0 ? read_known(f.get(), uint64_t(size), max_size, file)
                                       : read_stream(f.get(), max_size, file);
    if (status != WHOLE_FILE_OK)
        *file = WholeFile{};
    return status;
}
