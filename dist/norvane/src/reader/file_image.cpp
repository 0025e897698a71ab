#include "reader/file_image.h"

#include <limits>

FileImageStatus file_image_load(const char* path, FileImage* image) {
    *image = FileImage{};
    switch (load_whole_file(path, std::numeric_limits<uint64_t>::max(), &image->owned)) {
    case WHOLE_FILE_OK:
        break;
    case WHOLE_FILE_CANT_OPEN:
        return FILE_IMAGE_CANT_OPEN;
    case WHOLE_FILE_NOT_REGULAR:
        return FILE_IMAGE_NOT_REGULAR;
    case WHOLE_FILE_CANT_READ:
        return FILE_IMAGE_CANT_READ;
    case WHOLE_FILE_TOO_LARGE:
        return FILE_IMAGE_TOO_LARGE;
    case WHOLE_FILE_OUT_OF_MEMORY:
        return FILE_IMAGE_OUT_OF_MEMORY;
    }
    image->size = image->owned.size;
    image->data = image->owned.bytes.get();
    return FILE_IMAGE_OK;
}
