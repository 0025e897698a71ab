#include "overlay_drawing.h"

#include "capture_dialog.h"
#include "overlay_layout.h"
#include "selection_geometry.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the info text is handed to DrawTextW");

namespace {

const RECT& as_rect(const GeoRect& rc) {
    return *reinterpret_cast<const RECT*>(&rc);
}

// Copies the frozen screen back over each rectangle, at the same place.
void restore_from_screen(HDC hdc, const GeoRect* rects, int count) {
    HDC mdc = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mdc, hbmScreen);
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

void draw_selection_frame(HDC hdc) {
    const CaptureState& cs = capture_state;
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

void erase_previous_frame(HDC hdc) {
    GeoRect strips[4];
    frame_erase_strips(capture_state.rcPrevious, strips);
    restore_from_screen(hdc, strips, 4);
}

void erase_info_box(HDC hdc) {
    restore_from_screen(hdc, &capture_state.rcInfo, 1);
}

void place_info_box(int x, int y, RECT client) {
    place_info_box(static_cast<int32_t>(x), static_cast<int32_t>(y),
                   GeoRect{client.left, client.top, client.right, client.bottom});
}

void draw_info_box(HDC hdc, const wchar_t* text) {
    HGDIOBJ old_font = SelectObject(hdc, hfontDialog);
    FrameRect(hdc, &as_rect(capture_state.rcInfo),
              static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const int old_mode = SetBkMode(hdc, TRANSPARENT);
    GeoRect text_rect = info_text_rect();
    DrawTextW(hdc, text, -1, reinterpret_cast<RECT*>(&text_rect),
              DT_CENTER | DT_VCENTER | DT_WORDBREAK);
    SetBkMode(hdc, old_mode);
    SelectObject(hdc, old_font);
}

void redraw_overlay(HWND hwnd, HDC hdc, int x, int y) {
    const CaptureState& cs = capture_state;
    RECT client;
    GetClientRect(hwnd, &client);
    char16_t text[INFO_TEXT_CAPACITY];
    format_info_text(text, INFO_TEXT_CAPACITY, cs.rcSelection.left, cs.rcSelection.top,
                     cs.rcSelection.right - cs.rcSelection.left,
                     cs.rcSelection.bottom - cs.rcSelection.top, x, y);
    erase_previous_frame(hdc);
    erase_info_box(hdc);
    draw_selection_frame(hdc);
    place_info_box(x, y, client);
    draw_info_box(hdc, reinterpret_cast<const wchar_t*>(text));
}
