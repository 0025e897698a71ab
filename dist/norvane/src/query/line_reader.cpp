#include "query/line_reader.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

void line_reader_init(LineReader* reader, std::FILE* in) {
    reader->in = in;
    reader->begin = reader->end = 0;
    reader->at_end = false;
}

namespace {

// Refills the buffer when it is empty; false once nothing more comes.
bool fill(LineReader* r) {
    if (r->begin < r->end)
        return true;
    if (r->at_end)
        return false;
    r->begin = 0;
    r->end = 0;
    // Whatever has arrived, not a full buffer: a partner that waits for each answer before it
    // writes the next question must get it.
    for (;;) {
#ifdef _WIN32
        int got = _read(_fileno(r->in), r->buffer, unsigned(sizeof r->buffer));
#else
        ssize_t got = read(fileno(r->in), r->buffer, sizeof r->buffer);
#endif
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            r->at_end = true;
            return false;
        }
        r->end = size_t(got);
        return true;
    }
}

} // namespace

bool read_input_line(LineReader* r, std::string* line, bool* overlong) {
    line->clear();
    *overlong = false;
    bool any = false;
    size_t length = 0;
    while (fill(r)) {
        any = true;
        const char* start = r->buffer + r->begin;
        size_t available = r->end - r->begin;
        const void* newline = std::memchr(start, '\n', available);
        size_t take = newline ? size_t(static_cast<const char*>(newline) - start) : available;
        size_t room = kMaxLineBytes - line->size();
        line->append(start, take < room ? take : room);
        length += take;
        r->begin += take;
        if (newline) {
            ++r->begin;
            break;
        }
    }
    if (!any)
        return false;
    *overlong = length > kMaxLineBytes;
    if (!*overlong && !line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}
