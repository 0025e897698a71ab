// Makes the README's two pictures of a capture: the screen in the middle of a drag (outline,
// handles and info box over the frozen screen) and the bitmap that GetCapBitmap returned.
//
//   ostrine_capture_pictures DRAG.bmp RESULT.bmp
#include "Ostrine.h"
#include "gui_driver.h"

#include <cstdio>

namespace {

uint32_t mix(uint32_t a, uint32_t b, int t, int range) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= static_cast<uint32_t>(ca + (cb - ca) * t / range) << shift;
    }
    return out;
}

void fill(std::vector<uint32_t>& img, int w, int l, int t, int r, int b, uint32_t c) {
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x)
            img[static_cast<size_t>(y) * w + x] = c;
}

// A made-up desktop: a sky, a sun, two application windows with a title bar and lines of text.
std::vector<uint32_t> desktop(int w, int h) {
    std::vector<uint32_t> img(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img[static_cast<size_t>(y) * w + x] = mix(0x2B5C8A, 0x9CC9E8, y, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x - 820) * (x - 820) + (y - 150) * (y - 150) < 70 * 70)
                img[static_cast<size_t>(y) * w + x] = 0xF6D36B;
    const struct {
        int l, t, r, b;
        uint32_t title;
    } windows[] = {{120, 110, 560, 430, 0x3A6EA5}, {430, 330, 900, 690, 0x6A4C93}};
    for (const auto& win : windows) {
        fill(img, w, win.l + 6, win.t + 6, win.r + 6, win.b + 6, 0x203040);
        fill(img, w, win.l, win.t, win.r, win.b, 0xF4F4F4);
        fill(img, w, win.l, win.t, win.r, win.t + 24, win.title);
        for (int line = 0; win.t + 44 + line * 22 < win.b - 16; ++line) {
            const int len = (win.r - win.l - 40) * (5 + (line * 7) % 5) / 10;
            fill(img, w, win.l + 20, win.t + 44 + line * 22, win.l + 20 + len,
                 win.t + 52 + line * 22, line % 4 == 0 ? 0x505A64 : 0xA0A8B0);
        }
    }
    return img;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        printf("usage: ostrine_capture_pictures DRAG.bmp RESULT.bmp\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA("Ostrine.dll");
    if (dll == NULL) {
        printf("Ostrine.dll not found\n");
        return 1;
    }
    auto capture = reinterpret_cast<OstrineGetCapBitmapFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "GetCapBitmap")));
    const int w = screen_width(), h = screen_height();
    show_image_window(desktop(w, h));
    send_move(760, 560);

    bool drag_saved = false;
    HBITMAP result = drive_capture(capture, [&](HWND dialog) {
        send_move(250, 170);
        send_button(true);
        wait_until([&] { return mouse_capture_of(dialog) == dialog; });
        send_move(500, 300);
        // Outline and info box are drawn when the corner handle and the box's frame show.
        if (move_until(590, 400, [] {
                return screen_pixel(591, 401) == 0x0A6482 && screen_pixel(593, 312) == 0;
            })) {
            const std::vector<uint32_t> screen = read_screen(RECT{0, 0, w, h});
            drag_saved = save_bmp(argv[1], screen, w, h);
        }
        send_button(false);
        wait_until([&] { return mouse_capture_of(dialog) == NULL; });
        send_double_click(400, 300);
    });
    int rw = 0, rh = 0;
    const std::vector<uint32_t> pixels =
        result != NULL ? bitmap_pixels(result, &rw, &rh) : std::vector<uint32_t>();
    const bool result_saved = result != NULL && save_bmp(argv[2], pixels, rw, rh);
    printf("drag picture %s, result %d x %d %s\n", drag_saved ? "saved" : "MISSING", rw, rh,
           result_saved ? "saved" : "MISSING");
    FreeLibrary(dll);
    return drag_saved && result_saved ? 0 : 1;
}
