// A C stream that closes itself. close_file closes it early and says whether everything
// buffered reached the system, which matters for files being written.
#pragma once

#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

inline FileHandle open_file(const char* path, const char* mode) {
    return FileHandle(std::fopen(path, mode));
}

// Flushes and closes; false when either failed. The handle is empty afterwards.
inline bool close_file(FileHandle* file) {
    std::FILE* f = file->release();
    bool flushed = std::fflush(f) == 0;
    return std::fclose(f) == 0 && flushed;
}
