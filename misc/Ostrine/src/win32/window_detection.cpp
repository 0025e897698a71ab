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

GeoRect as_geo(const RECT& rc) {
    return GeoRect{rc.left, rc.top, rc.right, rc.bottom};
}

bool is_cloaked(const Dwm& dwm, HWND hwnd) {
    DWORD cloaked = 0;
    return dwm.get_attribute != nullptr &&
           SUCCEEDED(dwm.get_attribute(hwnd, DWMWA_CLOAKED_, &cloaked, sizeof cloaked)) &&
           cloaked != 0;
}

// The visible frame: without the invisible resize borders where the DWM reports them.
RECT frame_bounds(const Dwm& dwm, HWND hwnd) {
    RECT rc = {0, 0, 0, 0};
    if (dwm.get_attribute != nullptr &&
        SUCCEEDED(dwm.get_attribute(hwnd, DWMWA_EXTENDED_FRAME_BOUNDS_, &rc, sizeof rc)) &&
        rc.right > rc.left && rc.bottom > rc.top)
        return rc;
    GetWindowRect(hwnd, &rc);
    return rc;
}

void add_children(std::vector<WindowRect>& list, HWND parent, int32_t depth, GeoRect bounds) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != NULL && list.size() < MAX_WINDOWS;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        RECT rc;
        if (!GetWindowRect(child, &rc))
            continue;
        const GeoRect clipped = add_window_rect(list, as_geo(rc), depth, bounds);
        if (clipped.right > clipped.left && depth < MAX_DEPTH)
            add_children(list, child, depth + 1, clipped);
    }
}

} // namespace

void collect_windows(std::vector<WindowRect>& list, HWND skip1, HWND skip2, RECT display) {
    list.clear();
    // From the system folder only, never from the host's folder or the current one.
    Dwm dwm{LoadLibraryExA("dwmapi.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32), nullptr};
    if (dwm.module != NULL)
        dwm.get_attribute = reinterpret_cast<DwmGetWindowAttributeFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(dwm.module, "DwmGetWindowAttribute")));
    for (HWND top = GetTopWindow(NULL); top != NULL && list.size() < MAX_WINDOWS;
         top = GetWindow(top, GW_HWNDNEXT)) {
        if (top == skip1 || top == skip2 || !IsWindowVisible(top) || IsIconic(top) ||
            is_cloaked(dwm, top))
            continue;
        const GeoRect clipped =
            add_window_rect(list, as_geo(frame_bounds(dwm, top)), 0, as_geo(display));
        if (clipped.right > clipped.left)
            add_children(list, top, 1, clipped);
    }
    if (dwm.module != NULL)
        FreeLibrary(dwm.module);
}
