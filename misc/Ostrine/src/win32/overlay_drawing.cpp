#include "win32/overlay_drawing.h"

#include "core/monitor_layout.h"
#include "core/overlay_layout.h"
#include "core/selection_geometry.h"
#include "win32/markup_interaction.h"
#include "win32/markup_surface.h"

#include <algorithm>
#include <cwchar>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the info text is handed to DrawTextW");

namespace {

// The boxes: near-white behind near-black text (about 18:1) in a black frame, readable over any
// screen.
const COLORREF BOX_BACKGROUND = RGB(0xFA, 0xFA, 0xF5);
const COLORREF BOX_TEXT = RGB(0x14, 0x14, 0x14);
// Where the magnified area reaches past the frozen screen.
const COLORREF LOUPE_OUTSIDE = RGB(0x80, 0x80, 0x80);

const RECT& as_rect(const GeoRect& rc) {
    return *reinterpret_cast<const RECT*>(&rc);
}

GeoRect as_geo(const RECT& rc) {
    return GeoRect{rc.left, rc.top, rc.right, rc.bottom};
}

// Copies the frozen screen back over each rectangle, at the same place.
void restore_from_screen(const CaptureRun& run, HDC hdc, const GeoRect* rects, int count) {
    // With the mark-up or the dimming, inside and outside the selection differ.
    if (composite_active(run)) {
        restore_area(run, hdc, rects, count);
        return;
    }
    HDC mdc = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mdc, run.hbmScreen);
    for (int i = 0; i < count; ++i) {
        const GeoRect& rc = rects[i];
        if (rc.right > rc.left && rc.bottom > rc.top)
            BitBlt(hdc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mdc, rc.left,
                   rc.top, SRCCOPY);
    }
    SelectObject(mdc, old);
    DeleteDC(mdc);
}

// Width and height of `text` in the dialog's font, line breaks kept.
SIZE measure_text(const CaptureRun& run, HDC hdc, const wchar_t* text) {
    HGDIOBJ old_font = SelectObject(hdc, run.hfontDialog);
    RECT rc = {0, 0, 0, 0};
    DrawTextW(hdc, text, -1, &rc, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(hdc, old_font);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

void fill_box(HDC hdc, const RECT& rc) {
    HBRUSH background = CreateSolidBrush(BOX_BACKGROUND);
    FillRect(hdc, &rc, background);
    FrameRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DeleteObject(background);
}

void draw_box_text(const CaptureRun& run, HDC hdc, const wchar_t* text, RECT rc) {
    HGDIOBJ old_font = SelectObject(hdc, run.hfontDialog);
    const int old_mode = SetBkMode(hdc, TRANSPARENT);
    const COLORREF old_colour = SetTextColor(hdc, BOX_TEXT);
    DrawTextW(hdc, text, -1, &rc, DT_CENTER | DT_NOPREFIX);
    SetTextColor(hdc, old_colour);
    SetBkMode(hdc, old_mode);
    SelectObject(hdc, old_font);
}

} // namespace

RECT pointer_monitor(CaptureRun& run, int x, int y) {
    RECT client = {0, 0, run.nScreenWidth, run.nScreenHeight};
    const int32_t i = monitor_index_at(run.monitors, GeoPoint{x, y});
    if (i < 0)
        return client;
    const MonitorArea& m = run.monitors[static_cast<size_t>(i)];
    if (m.dpi != run.overlay.dpi) {
        run.overlay.dpi = m.dpi;
        run.overlay.metrics = overlay_metrics(m.dpi);
    }
    return as_rect(m.rc);
}

void draw_selection_frame(const CaptureRun& run, HDC hdc) {
    const CaptureState& cs = run.state;
    HGDIOBJ old_brush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    HPEN pen = CreatePen(PS_SOLID, 1, FRAME_COLOR);
    HGDIOBJ old_pen = SelectObject(hdc, pen);
    Rectangle(hdc, cs.rcSelection.left, cs.rcSelection.top, cs.rcSelection.right,
              cs.rcSelection.bottom);
    HBRUSH brush = CreateSolidBrush(FRAME_COLOR);
    for (const GeoRect& handle : cs.rcHandles)
        FillRect(hdc, &as_rect(handle), brush);
    SelectObject(hdc, old_pen);
    SelectObject(hdc, old_brush);
    DeleteObject(pen);
    DeleteObject(brush);
}

void erase_previous_frame(const CaptureRun& run, HDC hdc) {
    GeoRect strips[4];
    frame_erase_strips(run.state.rcPrevious, strips, run.state.nHandleRadius);
    restore_from_screen(run, hdc, strips, 4);
}

void erase_info_box(const CaptureRun& run, HDC hdc) {
    restore_from_screen(run, hdc, &run.state.rcInfo, 1);
}

void place_info_box(CaptureRun& run, HDC hdc, int x, int y, RECT client, const wchar_t* text) {
    const OverlayMetrics& m = run.overlay.metrics;
    const SIZE text_size = measure_text(run, hdc, text);
    const int32_t width = text_size.cx + 2 * m.box_padding + 2;
    const int32_t height = text_size.cy + 2 * m.box_padding + 2;
    // Beside the pointer, on its monitor.
    run.state.rcInfo =
        place_box_on_monitor(run.monitors, GeoPoint{x, y}, width, height, m.gap, as_geo(client));
}

void draw_info_box(const CaptureRun& run, HDC hdc, const wchar_t* text) {
    const GeoRect& box = run.state.rcInfo;
    fill_box(hdc, as_rect(box));
    const int32_t inset = run.overlay.metrics.box_padding + 1;
    draw_box_text(run, hdc, text,
                  RECT{box.left + inset, box.top + inset, box.right - inset, box.bottom - inset});
}

void draw_loupe(CaptureRun& run, HDC hdc, int x, int y, RECT client) {
    const OverlayMetrics& m = run.overlay.metrics;
    HDC mdc = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mdc, run.hbmScreen);
    wchar_t caption[64];
    const COLORREF c = GetPixel(mdc, x, y);
    // Screen coordinates, as the host and the user know them.
    const int sx_screen = x + run.ptOrigin.x, sy_screen = y + run.ptOrigin.y;
    if (c != CLR_INVALID)
        swprintf(caption, 64, L"(%d,%d)\n#%02X%02X%02X", sx_screen, sy_screen, GetRValue(c),
                 GetGValue(c), GetBValue(c));
    else
        swprintf(caption, 64, L"(%d,%d)\n-", sx_screen, sy_screen);
    const SIZE text_size = measure_text(run, hdc, caption);
    const GeoPoint size = loupe_size(m, GeoPoint{text_size.cx, text_size.cy});
    const GeoRect rc = place_loupe_on_monitor(run.monitors, GeoPoint{x, y}, size.x, size.y, m.gap,
                                              run.state.rcInfo, as_geo(client));
    run.overlay.rcLoupe = rc;
    fill_box(hdc, as_rect(rc));

    // The magnified square, centred on the pointer's pixel.
    const int32_t square = m.loupe_cells * m.loupe_zoom;
    const int32_t sx = rc.left + 1 + (rc.right - rc.left - 2 - square) / 2, sy = rc.top + 1;
    HBRUSH outside = CreateSolidBrush(LOUPE_OUTSIDE);
    const RECT area{sx, sy, sx + square, sy + square};
    FillRect(hdc, &area, outside);
    DeleteObject(outside);
    // Only the part of the source on the frozen screen: beyond it GDI would copy nothing useful.
    BITMAP bm;
    GetObjectA(run.hbmScreen, sizeof bm, &bm);
    const int32_t half = m.loupe_cells / 2;
    const int32_t l = std::max(x - half, 0), t = std::max(y - half, 0);
    const int32_t r = std::min(x + half + 1, static_cast<int32_t>(bm.bmWidth));
    const int32_t b = std::min(y + half + 1, static_cast<int32_t>(bm.bmHeight));
    if (r > l && b > t) {
        const int old_mode = SetStretchBltMode(hdc, COLORONCOLOR);
        StretchBlt(hdc, sx + (l - (x - half)) * m.loupe_zoom, sy + (t - (y - half)) * m.loupe_zoom,
                   (r - l) * m.loupe_zoom, (b - t) * m.loupe_zoom, mdc, l, t, r - l, b - t,
                   SRCCOPY);
        SetStretchBltMode(hdc, old_mode);
    }
    SelectObject(mdc, old);
    DeleteDC(mdc);

    // The pointer's pixel: a dark ring around its cell and a light one just inside, visible on
    // any colour; the middle of the cell keeps the pixel's colour.
    const RECT cell{sx + half * m.loupe_zoom, sy + half * m.loupe_zoom,
                    sx + (half + 1) * m.loupe_zoom, sy + (half + 1) * m.loupe_zoom};
    const RECT ring{cell.left - 1, cell.top - 1, cell.right + 1, cell.bottom + 1};
    FrameRect(hdc, &ring, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FrameRect(hdc, &cell, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw_box_text(run, hdc, caption,
                  RECT{rc.left + 1, sy + square + m.box_padding, rc.right - 1, rc.bottom - 1});
}

void erase_loupe(CaptureRun& run, HDC hdc) {
    restore_from_screen(run, hdc, &run.overlay.rcLoupe, 1);
    run.overlay.rcLoupe = GeoRect{0, 0, 0, 0};
}

void draw_window_outline(HDC hdc, const GeoRect& rc) {
    HGDIOBJ old_brush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    HPEN pen = CreatePen(PS_SOLID, 1, FRAME_COLOR);
    HGDIOBJ old_pen = SelectObject(hdc, pen);
    Rectangle(hdc, rc.left, rc.top, rc.right, rc.bottom);
    SelectObject(hdc, old_pen);
    SelectObject(hdc, old_brush);
    DeleteObject(pen);
}

void erase_window_outline(const CaptureRun& run, HDC hdc, const GeoRect& rc) {
    GeoRect strips[4];
    frame_erase_strips(rc, strips, run.state.nHandleRadius);
    restore_from_screen(run, hdc, strips, 4);
}

void redraw_overlay(CaptureRun& run, HDC hdc, int x, int y, bool with_loupe) {
    const CaptureState& cs = run.state;
    const RECT client = pointer_monitor(run, x, y);
    char16_t text[INFO_TEXT_CAPACITY];
    format_info_text(
        text, INFO_TEXT_CAPACITY, cs.rcSelection.left + run.ptOrigin.x,
        cs.rcSelection.top + run.ptOrigin.y, cs.rcSelection.right - cs.rcSelection.left,
        cs.rcSelection.bottom - cs.rcSelection.top, x + run.ptOrigin.x, y + run.ptOrigin.y);
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
    show_selection_change(run, hdc);
    erase_previous_frame(run, hdc);
    erase_info_box(run, hdc);
    erase_loupe(run, hdc);
    GeoRect& hover = run.overlay.rcHover;
    if (hover.right > hover.left) {
        // The window outlined before the drag began.
        erase_window_outline(run, hdc, hover);
        hover = GeoRect{0, 0, 0, 0};
    }
    draw_selection_frame(run, hdc);
    place_info_box(run, hdc, x, y, client, wide);
    draw_info_box(run, hdc, wide);
    if (with_loupe)
        draw_loupe(run, hdc, x, y, client);
}
