#include "capture_checks.h"

#include "gui_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

bool frame_drawn(Box s) {
    return screen_pixel(s.left - 2, s.top - 2) == kFrameColour &&
           screen_pixel(s.right + 1, s.bottom + 1) == kFrameColour &&
           screen_pixel(s.right + 1, s.top - 2) == kFrameColour &&
           screen_pixel(s.left - 2, s.bottom + 1) == kFrameColour;
}

int screen_mismatches(Box area) {
    const std::vector<uint32_t> px =
        read_screen(RECT{area.left, area.top, area.right, area.bottom});
    int bad = 0;
    const int w = area.right - area.left;
    for (size_t i = 0; i < px.size(); ++i)
        bad += px[i] != pattern_pixel(area.left + static_cast<int>(i) % w,
                                      area.top + static_cast<int>(i) / w);
    return bad;
}

bool drag(HWND dialog, POINT from, std::initializer_list<POINT> path, Box shown) {
    send_move(from.x, from.y);
    send_button(true);
    bool ok = wait_until([&] { return mouse_capture_of(dialog) == dialog; });
    EXPECT_TRUE(ok) << "press at " << from.x << "," << from.y << " took no capture";
    for (POINT p : path)
        send_move(p.x, p.y);
    const POINT last = *(path.end() - 1);
    const bool drawn = move_until(last.x, last.y, [&] { return frame_drawn(shown); });
    EXPECT_TRUE(drawn) << "no frame at " << shown.left << "," << shown.top << "," << shown.right
                       << "," << shown.bottom;
    send_button(false);
    const bool released = wait_until([&] { return mouse_capture_of(dialog) == NULL; });
    EXPECT_TRUE(released);
    return ok && drawn && released;
}

bool accept_at(HWND dialog, int x, int y) {
    send_double_click(x, y);
    const bool gone = wait_until([&] { return !IsWindow(dialog); });
    EXPECT_TRUE(gone);
    return gone;
}

void escape() {
    send_key(VK_ESCAPE, true);
    send_key(VK_ESCAPE, false);
}

int pattern_mismatches(HBITMAP bitmap, Box where) {
    if (bitmap == NULL)
        return -1;
    int w = 0, h = 0;
    const std::vector<uint32_t> px = bitmap_pixels(bitmap, &w, &h);
    if (w != where.right - where.left || h != where.bottom - where.top)
        return -1;
    int bad = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bad += px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] !=
                   pattern_pixel(where.left + x, where.top + y);
    return bad;
}

DWORD put_marker_on_clipboard(const char* text) {
    if (!OpenClipboard(NULL))
        return 0;
    EmptyClipboard();
    const size_t n = strlen(text) + 1;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, n);
    memcpy(GlobalLock(mem), text, n);
    GlobalUnlock(mem);
    SetClipboardData(CF_TEXT, mem);
    CloseClipboard();
    return GetClipboardSequenceNumber();
}

bool clipboard_holds_marker(const char* text) {
    if (!OpenClipboard(NULL))
        return false;
    const bool no_bitmap = !IsClipboardFormatAvailable(CF_BITMAP);
    const char* held = static_cast<const char*>(GetClipboardData(CF_TEXT));
    const bool same = held != nullptr && strcmp(held, text) == 0;
    CloseClipboard();
    return no_bitmap && same;
}
