#include "win32/markup_toolbar.h"

#include "core/interaction_core.h"
#include "core/keyboard_interaction.h"
#include "core/markup_toolbar.h"
#include "core/overlay_placement.h"
#include "core/rect_math.h"
#include "win32/capture_api.h"
#include "win32/markup_interaction.h"

#include <commctrl.h>

#include <vector>

namespace {

const char TOOLBAR_CLASS[] = "OstrineMarkupToolbar";
const COLORREF TOOLBAR_BACKGROUND = RGB(0xFA, 0xFA, 0xF5);
const COLORREF GLYPH = RGB(0x30, 0x30, 0x30);
const COLORREF ACTIVE_FILL = RGB(0xCC, 0xE4, 0xF7);
const COLORREF ACTIVE_FRAME = RGB(0x1E, 0x6E, 0xE6);

// The tooltip control lives in comctl32, loaded at run time: the DLL's imports stay the
// system's window, graphics and kernel libraries. Kept loaded once loaded.
bool load_tooltips() {
    static bool ready = false;
    if (ready)
        return true;
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (comctl == NULL)
        return false;
    typedef BOOL(WINAPI * InitFn)(const INITCOMMONCONTROLSEX*);
    InitFn init = reinterpret_cast<InitFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(comctl, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    ready = init != NULL && init(&icc);
    return ready;
}

void line(HDC hdc, int x1, int y1, int x2, int y2) {
    MoveToEx(hdc, x1, y1, NULL);
    LineTo(hdc, x2, y2);
}

// The glyph of a button inside `c` (the button less a margin), with the glyph pen selected.
void draw_glyph(HDC hdc, int button, RECT c, int32_t dpi) {
    const int mx = (c.left + c.right) / 2, my = (c.top + c.bottom) / 2;
    switch (button) {
    case BUTTON_RECTANGLE:
        Rectangle(hdc, c.left, c.top + 2, c.right, c.bottom - 2);
        break;
    case BUTTON_RECTANGLE + 1: // ellipse
        Ellipse(hdc, c.left, c.top + 2, c.right, c.bottom - 2);
        break;
    case BUTTON_RECTANGLE + 2: // line
        line(hdc, c.left, c.bottom, c.right, c.top);
        break;
    case BUTTON_RECTANGLE + 3: { // arrow
        line(hdc, c.left, c.bottom, c.right, c.top);
        line(hdc, c.right, c.top, c.right - (c.right - c.left) / 2, c.top);
        line(hdc, c.right, c.top, c.right, c.top + (c.bottom - c.top) / 2);
        break;
    }
    case BUTTON_RECTANGLE + 4: { // pen
        const POINT path[] = {{c.left, c.bottom - 2},
                              {c.left + (c.right - c.left) / 3, c.top},
                              {c.left + 2 * (c.right - c.left) / 3, c.bottom},
                              {c.right, c.top + 2}};
        Polyline(hdc, path, 4);
        break;
    }
    case BUTTON_RECTANGLE + 5: { // highlighter
        HBRUSH mark = CreateSolidBrush(RGB(0xFA, 0xE6, 0x80));
        const RECT band{c.left, my - (c.bottom - c.top) / 4, c.right, my + (c.bottom - c.top) / 4};
        FillRect(hdc, &band, mark);
        DeleteObject(mark);
        line(hdc, c.left + 2, my, c.right - 2, my);
        break;
    }
    case BUTTON_RECTANGLE + 6: { // mosaic: four tiles
        const COLORREF tiles[4] = {RGB(0x50, 0x50, 0x50), RGB(0xB0, 0xB0, 0xB0),
                                   RGB(0xB0, 0xB0, 0xB0), RGB(0x50, 0x50, 0x50)};
        for (int i = 0; i < 4; ++i) {
            const RECT t{i % 2 ? mx : c.left, i / 2 ? my : c.top, i % 2 ? c.right : mx,
                         i / 2 ? c.bottom : my};
            HBRUSH b = CreateSolidBrush(tiles[i]);
            FillRect(hdc, &t, b);
            DeleteObject(b);
        }
        break;
    }
    case BUTTON_TEXT:
        line(hdc, c.left + 1, c.top + 1, c.right - 1, c.top + 1);
        line(hdc, mx, c.top + 1, mx, c.bottom);
        break;
    case BUTTON_UNDO:
    case BUTTON_REDO: {
        const int dir = button == BUTTON_UNDO ? 1 : -1;
        const int tip = button == BUTTON_UNDO ? c.left : c.right;
        line(hdc, tip, my, tip + dir * (c.right - c.left), my);
        line(hdc, tip, my, tip + dir * (c.right - c.left) / 2, c.top + 1);
        line(hdc, tip, my, tip + dir * (c.right - c.left) / 2, c.bottom - 1);
        break;
    }
    case BUTTON_CANCEL:
        line(hdc, c.left + 1, c.top + 1, c.right - 1, c.bottom - 1);
        line(hdc, c.left + 1, c.bottom - 1, c.right - 1, c.top + 1);
        break;
    case BUTTON_ACCEPT:
        line(hdc, c.left, my, mx - 1, c.bottom - 2);
        line(hdc, mx - 1, c.bottom - 2, c.right, c.top + 2);
        break;
    default:
        if (button >= BUTTON_COLOUR_FIRST && button < BUTTON_WIDTH_FIRST) {
            HBRUSH swatch = CreateSolidBrush(palette_colour(button - BUTTON_COLOUR_FIRST));
            HGDIOBJ old = SelectObject(hdc, swatch);
            Rectangle(hdc, c.left, c.top, c.right, c.bottom);
            SelectObject(hdc, old);
            DeleteObject(swatch);
        } else if (button >= BUTTON_WIDTH_FIRST && button < BUTTON_UNDO) {
            const int r = stroke_width(button - BUTTON_WIDTH_FIRST, dpi) / 2 + 1;
            HGDIOBJ old = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
            Ellipse(hdc, mx - r, my - r, mx + r, my + r);
            SelectObject(hdc, old);
        }
        break;
    }
}

void paint_toolbar(const CaptureRun& run, HDC hdc) {
    const MarkupRun& m = run.markup;
    const int32_t dpi = run.overlay.dpi;
    RECT all{0, 0, m.layout.width, m.layout.height};
    HBRUSH background = CreateSolidBrush(TOOLBAR_BACKGROUND);
    FillRect(hdc, &all, background);
    DeleteObject(background);
    FrameRect(hdc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HPEN pen = CreatePen(PS_SOLID, scale_for_dpi(2, dpi), GLYPH);
    HBRUSH active_fill = CreateSolidBrush(ACTIVE_FILL);
    HPEN active_pen = CreatePen(PS_SOLID, 1, ACTIVE_FRAME);
    HGDIOBJ old_pen = SelectObject(hdc, pen);
    HGDIOBJ old_brush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    const int margin = scale_for_dpi(5, dpi);
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        const GeoRect& b = m.layout.buttons[i];
        if (toolbar_button_active(m.tools, i)) {
            SelectObject(hdc, active_pen);
            SelectObject(hdc, active_fill);
            Rectangle(hdc, b.left, b.top, b.right, b.bottom);
            SelectObject(hdc, GetStockObject(NULL_BRUSH));
            SelectObject(hdc, pen);
        }
        draw_glyph(hdc, i,
                   RECT{b.left + margin, b.top + margin, b.right - margin, b.bottom - margin}, dpi);
    }
    SelectObject(hdc, old_brush);
    SelectObject(hdc, old_pen);
    DeleteObject(pen);
    DeleteObject(active_pen);
    DeleteObject(active_fill);
}

LRESULT CALLBACK toolbar_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CaptureRun* run = reinterpret_cast<CaptureRun*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        if (run != NULL)
            paint_toolbar(*run, hdc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
        if (run != NULL) {
            const GeoPoint pt{pointer_coordinate(LOWORD(lParam)),
                              pointer_coordinate(HIWORD(lParam))};
            const int button = toolbar_button_at(run->markup.layout, pt);
            if (button >= 0)
                on_toolbar_button(*run, button);
        }
        return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursorA(NULL, IDC_ARROW));
        return 1;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void add_tooltips(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (!load_tooltips())
        return;
    m.hwndTooltip =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, run.hwndDialog, NULL, hinstModule, NULL);
    if (m.hwndTooltip == NULL)
        return;
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        // The size of the oldest layout that every comctl32 takes.
        TOOLINFOA ti = {};
        ti.cbSize = TTTOOLINFOA_V2_SIZE;
        ti.uFlags = TTF_SUBCLASS;
        ti.hwnd = m.hwndToolbar;
        ti.uId = static_cast<UINT_PTR>(i);
        const GeoRect& b = m.layout.buttons[i];
        ti.rect = RECT{b.left, b.top, b.right, b.bottom};
        ti.hinst = NULL;
        ti.lpszText = const_cast<char*>(toolbar_tooltip(i));
        SendMessageA(m.hwndTooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

// The monitors' rectangles, in the dialog's coordinates.
std::vector<GeoRect> monitors_of(const CaptureRun& run) {
    std::vector<GeoRect> list;
    for (const MonitorArea& m : run.monitors)
        list.push_back(m.rc);
    if (list.empty())
        list.push_back(GeoRect{0, 0, run.nScreenWidth, run.nScreenHeight});
    return list;
}

} // namespace

bool create_toolbar(CaptureRun& run) {
    MarkupRun& m = run.markup;
    m.layout = toolbar_layout(run.overlay.dpi);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = toolbar_proc;
    wc.hInstance = hinstModule;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = TOOLBAR_CLASS;
    RegisterClassA(&wc);
    m.hwndToolbar =
        CreateWindowExA(0, TOOLBAR_CLASS, "", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, m.layout.width,
                        m.layout.height, run.hwndDialog, NULL, hinstModule, NULL);
    if (m.hwndToolbar == NULL)
        return false;
    SetWindowLongPtrA(m.hwndToolbar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&run));
    add_tooltips(run);
    return true;
}

void destroy_toolbar(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (m.hwndTooltip != NULL && IsWindow(m.hwndTooltip))
        DestroyWindow(m.hwndTooltip);
    if (m.hwndToolbar != NULL && IsWindow(m.hwndToolbar))
        DestroyWindow(m.hwndToolbar);
    m.hwndTooltip = m.hwndToolbar = NULL;
    m.bToolbarShown = false;
    UnregisterClassA(TOOLBAR_CLASS, hinstModule);
}

void sync_toolbar(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (m.hwndToolbar == NULL)
        return;
    const bool show = selection_is_finished(run.state) && !selection_is_empty(run.state);
    if (!show) {
        if (m.bToolbarShown)
            ShowWindow(m.hwndToolbar, SW_HIDE);
        m.bToolbarShown = false;
        return;
    }
    const GeoRect& s = run.state.rcSelection;
    const GeoRect& was = m.rcPlacedFor;
    if (m.bToolbarShown && s.left == was.left && s.top == was.top && s.right == was.right &&
        s.bottom == was.bottom)
        return;
    m.rcPlacedFor = s;
    const std::vector<GeoRect> monitors = monitors_of(run);
    const GeoRect place =
        place_toolbar(run.state.rcSelection, GeoPoint{m.layout.width, m.layout.height},
                      run.state.nHandleRadius + 3, monitors.data(), monitors.size());
    if (m.bToolbarShown && place.left == m.rcToolbar.left && place.top == m.rcToolbar.top)
        return;
    m.rcToolbar = place;
    m.bToolbarShown = true;
    SetWindowPos(m.hwndToolbar, HWND_TOP, place.left, place.top, m.layout.width, m.layout.height,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void refresh_toolbar(const CaptureRun& run) {
    if (run.markup.hwndToolbar != NULL)
        InvalidateRect(run.markup.hwndToolbar, NULL, FALSE);
}
