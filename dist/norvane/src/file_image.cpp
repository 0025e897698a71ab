#include "file_image.h"

#include <cstdio>
#include <limits>
#include <new>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

void clear_image(FileImage* image) {
    image->data = nullptr;
    image->size = 0;
    image->mapping = nullptr;
    image->mapping_size = 0;
    std::vector<uint8_t>().swap(image->owned);
}

// Reads until end of file; the size is not known beforehand (pipes, or no usable stat).
FileImageStatus read_stream(std::FILE* file, FileImage* image) {
    const size_t chunk = 1 << 20;
    size_t used = 0;
    for (;;) {
        if (image->owned.size() - used < chunk) {
            if (image->owned.size() > std::numeric_limits<size_t>::max() / 2 - chunk)
                return FILE_IMAGE_TOO_LARGE;
            try {
                image->owned.resize(image->owned.size() * 2 + chunk);
            } catch (const std::bad_alloc&) {
                return FILE_IMAGE_OUT_OF_MEMORY;
            }
        }
        size_t got = std::fread(image->owned.data() + used, 1, image->owned.size() - used, file);
        used += got;
        if (got == 0) {
            if (std::ferror(file))
                return FILE_IMAGE_CANT_READ;
            break;
        }
    }
    image->owned.resize(used);
    image->owned.shrink_to_fit();
    image->data = used > 0 ? image->owned.data() : nullptr;
    image->size = used;
    return FILE_IMAGE_OK;
}

FileImageStatus read_whole(const char* path, FileImage* image) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return FILE_IMAGE_CANT_OPEN;
    FileImageStatus status = read_stream(file, image);
    std::fclose(file);
    return status;
}

} // namespace

FileImageStatus file_image_load(const char* path, FileImage* image) {
    clear_image(image);
    FileImageStatus status = FILE_IMAGE_OK;
#ifdef _WIN32
    status = read_whole(path, image);
#else
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return FILE_IMAGE_CANT_OPEN;
    struct stat info;
    bool mappable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
    if (mappable && uint64_t(info.st_size) > std::numeric_limits<size_t>::max()) {
        ::close(fd);
        return FILE_IMAGE_TOO_LARGE;
    }
    void* mapping = MAP_FAILED;
    if (mappable)
        mapping = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapping != MAP_FAILED) {
        image->mapping = mapping;
        image->mapping_size = size_t(info.st_size);
        image->data = static_cast<const uint8_t*>(mapping);
        image->size = size_t(info.st_size);
    } else {
        status = read_whole(path, image);
    }
#endif
    if (status != FILE_IMAGE_OK)
        clear_image(image);
    return status;
}

void file_image_release(FileImage* image) {
#ifndef _WIN32
    if (image->mapping != nullptr)
        ::munmap(image->mapping, image->mapping_size);
#endif
    clear_image(image);
}
