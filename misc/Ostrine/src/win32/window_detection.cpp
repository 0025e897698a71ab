#include "win32/window_detection.h"

namespace {

// Bounds the work on a desktop with very many windows.
const size_t MAX_WINDOWS = 4096;
const int32_t MAX_DEPTH = 8;

// DwmGetWindowAttribute, looked up at run time: the DLL imports only kernel32, user32 and gdi32,
// and the DWM is not on every system.
typedef HRESULT(WINAPI* DwmGetWindowAttributeFn)(HWND, DWORD, PVOID, DWORD);
const DWORD DWMWA_EXTENDED_FRAME_BOUNDS_ = 9;
const DWORD DWMWA_CLOAKED_ = 14;

struct Dwm {
    HMODULE module;
    DwmGetWindowAttributeFn get_attribute;
};

// A screen rectangle in capture coordinates.
GeoRect as_geo(const RECT& rc, GeoPoint origin) {
    return GeoRect{rc.left - origin.x, rc.top - origin.y, rc.right - origin.x,
                   rc.bottom - origin.y};
}

bool is_cloaked(const Dwm& dwm, HWND hwnd) {
    DWORD cloaked = 0;
    return dwm.get_attribute != nullptr &&
           SUCCEEDED(dwm.get_attribute(hwnd, DWMWA_CLOAKED_, &cloaked, sizeof cloaked)) &&
           cloaked != 0;
}

// The visible frame: without the invisible resize borders where the DWM reports them, else the
// window's rectangle.
RECT frame_bounds(const Dwm& dwm, HWND hwnd, RECT window) {
    RECT rc = {0, 0, 0, 0};
    if (dwm.get_attribute != nullptr &&
        SUCCEEDED(dwm.get_attribute(hwnd, DWMWA_EXTENDED_FRAME_BOUNDS_, &rc, sizeof rc)) &&
        rc.right > rc.left && rc.bottom > rc.top)
        return rc;
    return window;
}

void add_children(std::vector<WindowRect>& list, HWND parent, int32_t depth, GeoRect bounds,
                  GeoPoint origin) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != NULL && list.size() < MAX_WINDOWS;
         child = GetWindow(child, GW_HWNDNEXT)) {
        // One call for the style and the rectangle: under Wine each is a trip to the server.
        WINDOWINFO info;
        info.cbSize = sizeof info;
        if (!GetWindowInfo(child, &info) || (info.dwStyle & WS_VISIBLE) == 0)
            continue;
        const GeoRect clipped = add_window_rect(list, as_geo(info.rcWindow, origin), depth, bounds);
        if (clipped.right > clipped.left && depth < MAX_DEPTH)
            add_children(list, child, depth + 1, clipped, origin);
    }
}

// The DWM's attribute call, looked up once and kept for the life of the process (loading the
// library for every capture would add to each opening).
Dwm dwm_once() {
    static Dwm dwm = [] {
        // From the system folder only, never from the host's folder or the current one.
        Dwm found{LoadLibraryExA("dwmapi.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32), nullptr};
        if (found.module != NULL)
            found.get_attribute =
                reinterpret_cast<DwmGetWindowAttributeFn>(reinterpret_cast<void (*)()>(
                    GetProcAddress(found.module, "DwmGetWindowAttribute")));
        return found;
    }();
    return dwm;
}

} // namespace

void collect_windows(std::vector<WindowRect>& list, HWND skip1, HWND skip2, GeoRect area,
                     GeoPoint origin) {
    list.clear();
    const GeoRect bounds{0, 0, area.right - area.left, area.bottom - area.top};
    const Dwm dwm = dwm_once();
    for (HWND top = GetTopWindow(NULL); top != NULL && list.size() < MAX_WINDOWS;
         top = GetWindow(top, GW_HWNDNEXT)) {
        if (top == skip1 || top == skip2)
            continue;
        WINDOWINFO info;
        info.cbSize = sizeof info;
        if (!GetWindowInfo(top, &info) || (info.dwStyle & WS_VISIBLE) == 0 ||
            (info.dwStyle & WS_MINIMIZE) != 0 || is_cloaked(dwm, top))
            continue;
        const GeoRect clipped =
            add_window_rect(list, as_geo(frame_bounds(dwm, top, info.rcWindow), origin), 0, bounds);
        if (clipped.right > clipped.left)
            add_children(list, top, 1, clipped, origin);
    }
}
