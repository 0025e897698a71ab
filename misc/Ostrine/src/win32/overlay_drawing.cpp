#include "win32/overlay_drawing.h"

#include "core/overlay_layout.h"
#include "core/selection_geometry.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the info text is handed to DrawTextW");

namespace {

const RECT& as_rect(const GeoRect& rc) {
    return *reinterpret_cast<const RECT*>(&rc);
}

// Copies the frozen screen back over each rectangle, at the same place.
void restore_from_screen(const CaptureRun& run, HDC hdc, const GeoRect* rects, int count) {
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

} // namespace

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
    frame_erase_strips(run.state.rcPrevious, strips);
    restore_from_screen(run, hdc, strips, 4);
}

void erase_info_box(const CaptureRun& run, HDC hdc) {
    restore_from_screen(run, hdc, &run.state.rcInfo, 1);
}

void place_info_box(CaptureRun& run, int x, int y, RECT client) {
    place_info_box(run.state, static_cast<int32_t>(x), static_cast<int32_t>(y),
                   GeoRect{client.left, client.top, client.right, client.bottom});
}

void draw_info_box(const CaptureRun& run, HDC hdc, const wchar_t* text) {
    HGDIOBJ old_font = SelectObject(hdc, run.hfontDialog);
    FrameRect(hdc, &as_rect(run.state.rcInfo), static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const int old_mode = SetBkMode(hdc, TRANSPARENT);
    GeoRect text_rect = info_text_rect(run.state);
    DrawTextW(hdc, text, -1, reinterpret_cast<RECT*>(&text_rect),
              DT_CENTER | DT_VCENTER | DT_WORDBREAK);
    SetBkMode(hdc, old_mode);
    SelectObject(hdc, old_font);
}

void redraw_overlay(CaptureRun& run, HDC hdc, int x, int y) {
    const CaptureState& cs = run.state;
    RECT client;
    GetClientRect(run.hwndDialog, &client);
    char16_t text[INFO_TEXT_CAPACITY];
    format_info_text(text, INFO_TEXT_CAPACITY, cs.rcSelection.left, cs.rcSelection.top,
                     cs.rcSelection.right - cs.rcSelection.left,
                     cs.rcSelection.bottom - cs.rcSelection.top, x, y);
    erase_previous_frame(run, hdc);
    erase_info_box(run, hdc);
    draw_selection_frame(run, hdc);
    place_info_box(run, x, y, client);
    draw_info_box(run, hdc, reinterpret_cast<const wchar_t*>(text));
}
