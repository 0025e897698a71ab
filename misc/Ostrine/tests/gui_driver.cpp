#include "gui_driver.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

std::vector<uint32_t> host_image;
// Where the latest move went: presses and releases go there.
POINT last_target = {0, 0};

LRESULT CALLBACK pattern_window_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = screen_width();
        bmi.bmiHeader.biHeight = -screen_height();
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(hdc, 0, 0, screen_width(), screen_height(), 0, 0, 0, screen_height(),
                          host_image.data(), &bmi, DIB_RGB_COLORS);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int absolute(int v, int size) {
    // Lands exactly on pixel v: ceil(v * 65536 / size).
    return static_cast<int>((static_cast<long long>(v) * 65536 + size - 1) / size);
}

void send_mouse(DWORD flags, int x, int y) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    if (GetSystemMetrics(SM_CMONITORS) > 1) {
        // Several monitors: positions scaled over the whole virtual screen.
        const RECT v = virtual_screen();
        in.mi.dx = absolute(x - v.left, v.right - v.left);
        in.mi.dy = absolute(y - v.top, v.bottom - v.top);
        flags |= MOUSEEVENTF_VIRTUALDESK;
    } else {
        in.mi.dx = absolute(x, screen_width());
        in.mi.dy = absolute(y, screen_height());
    }
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

POINT current_pos() {
    POINT pt;
    GetCursorPos(&pt);
    return pt;
}

} // namespace

uint32_t pattern_pixel(int x, int y) {
    // Never black and never the frame colour: blue stays in 0x40..0xb8 in steps of 8.
    const uint32_t r = static_cast<uint32_t>(x) & 0xFF;
    const uint32_t g = static_cast<uint32_t>(y) & 0xFF;
    const uint32_t b =
        0x40 + ((static_cast<uint32_t>(x) >> 8) * 4 + (static_cast<uint32_t>(y) >> 8)) * 8;
    return r << 16 | g << 8 | (b & 0xFF);
}

uint32_t rgb_pixel(COLORREF colour) {
    return static_cast<uint32_t>(GetRValue(colour)) << 16 |
           static_cast<uint32_t>(GetGValue(colour)) << 8 | GetBValue(colour);
}

int screen_width() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int screen_height() {
    return GetSystemMetrics(SM_CYSCREEN);
}

RECT virtual_screen() {
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

HWND show_pattern_window() {
    const int w = screen_width(), h = screen_height();
    std::vector<uint32_t> image(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image[static_cast<size_t>(y) * w + x] = pattern_pixel(x, y);
    return show_image_window(image);
}

HWND show_image_window(const std::vector<uint32_t>& image) {
    const int w = screen_width(), h = screen_height();
    host_image = image;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = pattern_window_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));
    wc.lpszClassName = "OstrinePatternHost";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "pattern", WS_POPUP | WS_VISIBLE, 0, 0, w, h,
                                NULL, NULL, wc.hInstance, NULL);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    wait_for_pattern_on_screen();
    return hwnd;
}

bool wait_for_pattern_on_screen(DWORD timeout_ms) {
    return wait_until(
        [] {
            MSG msg;
            while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            const std::vector<uint32_t> px =
                read_screen(RECT{0, 0, screen_width(), screen_height()});
            for (size_t i = 0; i < px.size(); ++i)
                if (px[i] != host_image[i])
                    return false;
            return true;
        },
        timeout_ms);
}

void send_move(int x, int y) {
    last_target = POINT{x, y};
    send_mouse(MOUSEEVENTF_MOVE, x, y);
    wait_until([&] {
        POINT pt = current_pos();
        return pt.x == x && pt.y == y;
    });
}

bool move_until(int x, int y, const std::function<bool()>& arrived, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    send_move(x, y);
    while (!wait_until(arrived, 250)) {
        if (GetTickCount() - start > timeout_ms)
            return false;
        send_move(x > 0 ? x - 1 : x + 1, y);
        send_move(x, y);
    }
    return true;
}

void send_button(bool down) {
    // With the move in the same event: Wine's X11 driver sometimes replays a stale pointer
    // position just before, and a button event alone takes the position from the system.
    send_mouse(MOUSEEVENTF_MOVE | (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP), last_target.x,
               last_target.y);
}

void send_key(WORD vk, bool down) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &in, sizeof in);
}

void send_double_click(int x, int y) {
    send_move(x, y);
    // Well inside the double-click time; events queue in order, so no pauses are needed.
    send_button(true);
    send_button(false);
    send_button(true);
    send_button(false);
}

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start > timeout_ms)
            return done();
        Sleep(5);
    }
}

HWND wait_for_capture_dialog(DWORD timeout_ms) {
    HWND dialog = NULL;
    wait_until(
        [&] {
            dialog = FindWindowA("#32770", NULL);
            if (dialog == NULL || !IsWindowVisible(dialog))
                return false;
            DWORD_PTR ignored;
            // Answered only once WM_INITDIALOG has returned.
            return SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 1000, &ignored) != 0;
        },
        timeout_ms);
    return dialog != NULL && IsWindowVisible(dialog) ? dialog : NULL;
}

HWND mouse_capture_of(HWND hwnd) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, NULL), &info))
        return NULL;
    return info.hwndCapture;
}

HCURSOR class_cursor(HWND hwnd) {
    return reinterpret_cast<HCURSOR>(GetClassLongPtrA(hwnd, GCLP_HCURSOR));
}

std::vector<uint32_t> read_screen(const RECT& rc) {
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(NULL);
    HBITMAP dib = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, NULL, 0);
    HDC mdc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mdc, dib);
    BitBlt(mdc, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<const uint32_t*>(bits)[i] & 0xFFFFFF;
    SelectObject(mdc, old);
    DeleteDC(mdc);
    DeleteObject(dib);
    ReleaseDC(NULL, screen);
    return pixels;
}

uint32_t screen_pixel(int x, int y) {
    return read_screen(RECT{x, y, x + 1, y + 1})[0];
}

RECT find_framed_box(int x, int y, int dx, int dy, uint32_t colour) {
    if (screen_pixel(x, y) != colour)
        return RECT{0, 0, 0, 0};
    const RECT v = virtual_screen();
    const std::vector<uint32_t> row =
        read_screen(dx > 0 ? RECT{x, y, v.right, y + 1} : RECT{v.left, y, x + 1, y + 1});
    const std::vector<uint32_t> column =
        read_screen(dy > 0 ? RECT{x, y, x + 1, v.bottom} : RECT{x, v.top, x + 1, y + 1});
    int far_x = x, far_y = y;
    for (size_t i = 0; i < row.size(); ++i) {
        const size_t at = dx > 0 ? i : row.size() - 1 - i;
        if (row[at] != colour)
            break;
        far_x = x + (dx > 0 ? 1 : -1) * static_cast<int>(i);
    }
    for (size_t i = 0; i < column.size(); ++i) {
        const size_t at = dy > 0 ? i : column.size() - 1 - i;
        if (column[at] != colour)
            break;
        far_y = y + (dy > 0 ? 1 : -1) * static_cast<int>(i);
    }
    return RECT{std::min(x, far_x), std::min(y, far_y), std::max(x, far_x) + 1,
                std::max(y, far_y) + 1};
}

std::vector<uint32_t> bitmap_pixels(HBITMAP bitmap, int* width, int* height) {
    BITMAP info = {};
    if (GetObjectA(bitmap, sizeof info, &info) == 0) {
        *width = *height = 0;
        return {};
    }
    *width = info.bmWidth;
    *height = info.bmHeight;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = info.bmWidth;
    bmi.bmiHeader.biHeight = -info.bmHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = GetDC(NULL);
    GetDIBits(screen, bitmap, 0, info.bmHeight, pixels.data(), &bmi, DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    for (uint32_t& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

HBITMAP drive_capture(HBITMAP(WINAPI* capture)(), const std::function<void(HWND dialog)>& script) {
    return drive_capture(std::function<HBITMAP()>([capture] { return capture(); }), script);
}

HBITMAP drive_capture(const std::function<HBITMAP()>& capture,
                      const std::function<void(HWND dialog)>& script) {
    std::thread driver([&] {
        HWND dialog = wait_for_capture_dialog();
        if (dialog == NULL)
            return;
        script(dialog);
        if (!wait_until([&] { return !IsWindow(dialog); }, 2000))
            PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    HBITMAP result = capture();
    driver.join();
    return result;
}

bool save_bmp(const char* path, const std::vector<uint32_t>& pixels, int width, int height) {
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride) * height;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    FILE* f = fopen(path, "wb");
    if (f == nullptr)
        return false;
    fwrite(&file, sizeof file, 1, f);
    fwrite(&info, sizeof info, 1, f);
    std::vector<unsigned char> row(static_cast<size_t>(stride));
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            row[static_cast<size_t>(x) * 3 + 0] = static_cast<unsigned char>(p);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>(p >> 8);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<unsigned char>(p >> 16);
        }
        fwrite(row.data(), 1, row.size(), f);
    }
    return fclose(f) == 0;
}
