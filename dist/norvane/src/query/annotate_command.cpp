#include "query/annotate_command.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/exit_codes.h"
#include "query/annotate_scanner.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr size_t kReadSize = 64 * 1024;
constexpr int kStdin = 0;
constexpr int kStdout = 1;

#ifdef _WIN32
long read_some(int fd, char* buffer, size_t size) {
    return _read(fd, buffer, unsigned(size));
}
long write_some(int fd, const char* data, size_t size) {
    return _write(fd, data, unsigned(size > (1u << 30) ? 1u << 30 : size));
}
int open_input(const char* path) {
    return _open(path, _O_RDONLY | _O_BINARY);
}
void close_input(int fd) {
    _close(fd);
}
#else
long read_some(int fd, char* buffer, size_t size) {
    ssize_t n;
    do
        n = ::read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return long(n);
}
long write_some(int fd, const char* data, size_t size) {
    ssize_t n;
    do
        n = ::write(fd, data, size);
    while (n < 0 && errno == EINTR);
    return long(n);
}
int open_input(const char* path) {
    return ::open(path, O_RDONLY | O_CLOEXEC);
}
void close_input(int fd) {
    ::close(fd);
}
#endif

// An input: a file opened here (closed when this goes), or standard input (left open). Pipes
// and devices are welcome, as with cat.
struct Input {
    int fd = -1;
    bool owned = false;
    explicit Input(const std::string& path) {
        if (path == "-") {
            fd = kStdin;
        } else {
            fd = open_input(path.c_str());
            owned = fd >= 0;
        }
    }
    ~Input() {
        if (owned)
            close_input(fd);
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
};

bool write_all(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        long n = write_some(kStdout, data.data() + done, data.size() - done);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// The note for an address: " [country area]", the area left out when empty. Notes are kept in
// a small direct-mapped cache keyed by the two texts, so that the addresses of a log (which
// repeat, and share few texts) cost a lookup and a probe, not a decoding.
struct CachedNote {
    const char* country = nullptr;
    const char* area = nullptr;
    std::string note;
};

constexpr int kNoteCacheBits = 12;
constexpr size_t kNoteCacheSize = size_t(1) << kNoteCacheBits;

struct NoteMaker {
    const NorvaneDb* db;
    TextPrinter* printer;
    std::vector<CachedNote> cache;
};

bool make_note(void* context, uint32_t address, const char** note, size_t* size) {
    NoteMaker* maker = static_cast<NoteMaker*>(context);
    DbLocation location;
    if (!db_lookup(maker->db, address, &location))
        return false;
    uint64_t key = uint64_t(location.country - maker->db->texts) * 0x9E3779B97F4A7C15ull ^
                   uint64_t(location.area - maker->db->texts);
    CachedNote& cached = maker->cache[size_t(key * 0xC2B2AE3D27D4EB4Full >> (64 - kNoteCacheBits))];
    if (cached.country != location.country || cached.area != location.area) {
        cached.country = location.country;
        cached.area = location.area;
        cached.note.assign(" [");
        append_printable(maker->printer, location.country, &cached.note);
        if (location.area[0] != '\0') {
            cached.note += ' ';
            append_printable(maker->printer, location.area, &cached.note);
        }
        cached.note += ']';
    }
    *note = cached.note.data();
    *size = cached.note.size();
    return true;
}

enum StreamResult { STREAM_OK, STREAM_READ_FAILED, STREAM_WRITE_FAILED };

StreamResult annotate_stream(int fd, NoteMaker* maker, std::vector<char>* buffer, std::string* out,
                             bool line_buffered) {
    AnnotateScanner scanner;
    annotate_begin(&scanner, make_note, maker);
    for (;;) {
        long n = read_some(fd, buffer->data(), buffer->size());
        if (n < 0) {
            annotate_end(&scanner, out);
            return STREAM_READ_FAILED;
        }
        if (n == 0)
            break;
        annotate_feed(&scanner, buffer->data(), size_t(n), out);
        if (line_buffered || out->size() >= kReadSize) {
            if (!write_all(*out))
                return STREAM_WRITE_FAILED;
            out->clear();
        }
    }
    annotate_end(&scanner, out);
    return STREAM_OK;
}

} // namespace

int query_annotate(const NorvaneDb* db, TextPrinter* printer, const std::vector<std::string>& paths,
                   bool line_buffered) {
#ifdef _WIN32
    _setmode(kStdin, _O_BINARY);
    _setmode(kStdout, _O_BINARY);
#endif
    std::vector<std::string> inputs = paths;
    if (inputs.empty())
        inputs.push_back("-");
    NoteMaker maker{db, printer, std::vector<CachedNote>(kNoteCacheSize)};
    std::vector<char> buffer(kReadSize);
    std::string out;
    out.reserve(2 * kReadSize);
    int status = kExitOk;
    for (const std::string& path : inputs) {
        Input input(path);
        if (input.fd < 0) {
            std::fprintf(stderr, "norvane-query: %s: can't open the file\n", path.c_str());
            status = kExitFailed;
            continue;
        }
        StreamResult result = annotate_stream(input.fd, &maker, &buffer, &out, line_buffered);
        if (result == STREAM_READ_FAILED) {
            std::fprintf(stderr, "norvane-query: %s: can't read the file\n", path.c_str());
            status = kExitFailed;
        }
        if (result == STREAM_WRITE_FAILED || !write_all(out)) {
            std::fprintf(stderr, "norvane-query: error writing the output\n");
            return kExitFailed;
        }
        out.clear();
    }
    return status;
}
