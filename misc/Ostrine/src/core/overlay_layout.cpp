#include "core/overlay_layout.h"

#include "core/overlay_placement.h"

#include <algorithm>

namespace {

// Appends to a bounded UTF-16 buffer; keeps room for the terminator and stops when full.
struct TextSink {
    char16_t* buf;
    size_t capacity;
    size_t len;
};

void put(TextSink& sink, char16_t c) {
    if (sink.len + 1 < sink.capacity)
        sink.buf[sink.len++] = c;
}

void put_text(TextSink& sink, const char16_t* s) {
    for (; *s != 0; ++s)
        put(sink, *s);
}

void put_number(TextSink& sink, int32_t value) {
    // In 64 bits so that the most negative value has a magnitude.
    int64_t v = value;
    if (v < 0) {
        put(sink, u'-');
        v = -v;
    }
    char16_t digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0)
        put(sink, digits[--n]);
}

void put_pair(TextSink& sink, const char16_t* label, int32_t a, int32_t b) {
    put_text(sink, label);
    put_text(sink, u" (");
    put_number(sink, a);
    put(sink, u',');
    put_number(sink, b);
    put(sink, u')');
}

} // namespace

void place_info_box(CaptureState& cs, int32_t x, int32_t y, GeoRect client) {
    cs.rcInfo = place_beside_pointer(x, y, INFO_BOX_WIDTH, INFO_BOX_HEIGHT, 3, client);
}

void frame_erase_strips(const GeoRect& rc, GeoRect strips[4], int32_t radius) {
    const int32_t l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
    const int32_t k = radius, k1 = radius + 1;
    // 2k + 1 pixels on the top and left, 2k + 2 on the right and bottom: the right and bottom
    // handles reach one pixel further out from the outline's line (R - 1, B - 1) than the
    // strip's. A selection narrower or lower than a pixel (the pointer back on the anchor) puts
    // its right and bottom handles left of and above its left and top ones: the strips reach
    // them too.
    const int32_t x0 = std::min(l - k, r - k1), y0 = std::min(t - k, b - k1);
    const int32_t x1 = std::max(r + k1, l + k1), y1 = std::max(b + k1, t + k1);
    strips[0] = GeoRect{x0, y0, std::max(r + k, l + k1), t + k1};
    strips[1] = GeoRect{r - k1, y0, x1, std::max(b + k, t + k1)};
    strips[2] = GeoRect{x0, b - k1, std::max(r + k, l + k1), y1};
    strips[3] = GeoRect{x0, y0, l + k1, std::max(b + k, t + k1)};
}

size_t format_info_text(char16_t* buf, size_t capacity, int32_t left, int32_t top, int32_t width,
                        int32_t height, int32_t x, int32_t y) {
    if (capacity == 0)
        return 0;
    TextSink sink{buf, capacity, 0};
    put_pair(sink, u"顶点位置", left, top);
    put(sink, u'\n');
    put_pair(sink, u"矩形大小", width, height);
    put(sink, u'\n');
    put_pair(sink, u"光标坐标", x, y);
    buf[sink.len] = 0;
    return sink.len;
}

GeoRect info_text_rect(const CaptureState& cs) {
    GeoRect rc = cs.rcInfo;
    rc.top += 2;
    return rc;
}
