#include "reader/file_image.h"

#include <limits>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

FileImageStatus read_whole(const char* path, FileImage* image) {
    switch (load_whole_file(path, std::numeric_limits<uint64_t>::max(), &image->owned)) {
    case WHOLE_FILE_OK:
        break;
    case WHOLE_FILE_CANT_OPEN:
        return FILE_IMAGE_CANT_OPEN;
    case WHOLE_FILE_CANT_READ:
        return FILE_IMAGE_CANT_READ;
    case WHOLE_FILE_TOO_LARGE:
        return FILE_IMAGE_TOO_LARGE;
    case WHOLE_FILE_OUT_OF_MEMORY:
        return FILE_IMAGE_OUT_OF_MEMORY;
    }
    image->size = image->owned.size;
    image->data = image->size > 0 ? image->owned.bytes.get() : nullptr;
    return FILE_IMAGE_OK;
}

} // namespace

void MappingDeleter::operator()(void* mapping) const {
#ifndef _WIN32
    ::munmap(mapping, size);
#else
    (void)mapping;
#endif
}

FileImageStatus file_image_load(const char* path, FileImage* image) {
    *image = FileImage{};
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
        image->mapping =
            std::unique_ptr<void, MappingDeleter>(mapping, MappingDeleter{size_t(info.st_size)});
        image->data = static_cast<const uint8_t*>(mapping);
        image->size = size_t(info.st_size);
    } else {
        status = read_whole(path, image);
    }
#endif
    if (status != FILE_IMAGE_OK)
        *image = FileImage{};
    return status;
}
