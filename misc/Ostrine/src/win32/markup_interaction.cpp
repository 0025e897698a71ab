#include "win32/markup_interaction.h"

#include "core/interaction_core.h"
#include "core/keyboard_interaction.h"
#include "core/rect_math.h"
#include "win32/capture_api.h"
#include "win32/markup_render.h"
#include "win32/markup_surface.h"
#include "win32/markup_toolbar.h"
#include "win32/overlay_drawing.h"
#include "win32/pointer_interaction.h"

#include <string>

namespace {

const int TEXT_FIELD_ID = 100;

bool same_rect(const GeoRect& a, const GeoRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool tool_ready(const CaptureRun& run) {
    return run.markup.bEnabled && run.markup.tools.tool != TOOL_NONE &&
           selection_is_finished(run.state) && !selection_is_empty(run.state);
}

// Shows `area` as it now is (marked inside the selection) and the outline again over it.
void show_area(CaptureRun& run, const GeoRect& area) {
    HDC hdc = GetDC(run.hwndDialog);
    const GeoRect grown = inflate_rect(area, run.state.nHandleRadius + 1);
    restore_area(run, hdc, &grown, 1);
    draw_selection_frame(run, hdc);
    ReleaseDC(run.hwndDialog, hdc);
}

void commit(CaptureRun& run, Mark mark) {
    MarkupRun& m = run.markup;
    const GeoRect bounds = mark_bounds(mark);
    HDC screen = GetDC(NULL);
    HDC mdc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mdc, m.hbmMarked);
    draw_mark_into_marked(run, mdc, mark);
    SelectObject(mdc, old);
    DeleteDC(mdc);
    ReleaseDC(NULL, screen);
    commit_mark(m.marks, std::move(mark));
    show_area(run, bounds);
}

void open_text_field(CaptureRun& run, int x, int y) {
    MarkupRun& m = run.markup;
    m.editing = start_mark(m.tools, GeoPoint{x, y}, run.overlay.dpi);
    m.hfontText = create_text_font(m.editing.width);
    // Light behind dark letters, dark behind white and yellow ones.
    const bool light_text = m.tools.colour_index == 1 || m.tools.colour_index == 5;
    m.hbrEdit = CreateSolidBrush(light_text ? RGB(0x40, 0x40, 0x40) : RGB(0xFF, 0xFF, 0xFF));
    const GeoRect& s = run.state.rcSelection;
    const int width = s.right - x > 40 ? s.right - x : 40;
    const int height = m.editing.width * 3 / 2 + 2;
    // A wide-character window, so that every character typed or composed reaches it.
    m.hwndEdit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, x, y,
                                 width, height, run.hwndDialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(TEXT_FIELD_ID)),
                                 hinstModule, NULL);
    if (m.hwndEdit == NULL) {
        finish_text(run, false);
        return;
    }
    SendMessageW(m.hwndEdit, WM_SETFONT, reinterpret_cast<WPARAM>(m.hfontText), FALSE);
    SendMessageW(m.hwndEdit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    SetFocus(m.hwndEdit);
}

} // namespace

bool open_markup(CaptureRun& run) {
    if (!composite_active(run))
        return true;
    if (!open_markup_surfaces(run))
        return false;
    if (!run.markup.bEnabled)
        return true;
    // The toolbar and the text field are children: the dialog's drawing must leave them alone.
    SetWindowLongPtrA(run.hwndDialog, GWL_STYLE,
                      GetWindowLongPtrA(run.hwndDialog, GWL_STYLE) | WS_CLIPCHILDREN);
    return create_toolbar(run);
}

void close_markup(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (m.hwndEdit != NULL && IsWindow(m.hwndEdit))
        DestroyWindow(m.hwndEdit);
    m.hwndEdit = NULL;
    if (m.hfontText != NULL)
        DeleteObject(m.hfontText);
    if (m.hbrEdit != NULL)
        DeleteObject(m.hbrEdit);
    m.hfontText = NULL;
    m.hbrEdit = NULL;
    destroy_toolbar(run);
    release_markup_surfaces(run);
}

bool markup_press(CaptureRun& run, int x, int y) {
    MarkupRun& m = run.markup;
    if (!m.bEnabled)
        return false;
    if (m.hwndEdit != NULL) {
        // A click elsewhere commits the text, and does nothing else.
        finish_text(run, true);
        return true;
    }
    if (!tool_ready(run))
        return false;
    if (!rect_contains(run.state.rcSelection, GeoPoint{x, y}))
        return true;
    if (m.tools.tool == TOOL_TEXT) {
        open_text_field(run, x, y);
        return true;
    }
    m.current = start_mark(m.tools, GeoPoint{x, y}, run.overlay.dpi);
    m.bDrawing = true;
    SetCapture(run.hwndDialog);
    return true;
}

bool markup_move(CaptureRun& run, int x, int y) {
    MarkupRun& m = run.markup;
    if (m.bDrawing) {
        HDC hdc = GetDC(run.hwndDialog);
        if (m.current.tool == TOOL_PEN) {
            extend_mark(m.current, GeoPoint{x, y});
            draw_pen_segment(run, hdc, m.current);
        } else {
            GeoRect areas[4];
            const int n = preview_erase_areas(m.current, areas);
            restore_area(run, hdc, areas, n);
            extend_mark(m.current, GeoPoint{x, y});
            draw_mark_on_screen(run, hdc, m.current);
        }
        draw_selection_frame(run, hdc);
        ReleaseDC(run.hwndDialog, hdc);
        return true;
    }
    if (!tool_ready(run))
        return false;
    // With a tool the selection stays put: a cross inside it, where a press draws.
    const bool inside = rect_contains(run.state.rcSelection, GeoPoint{x, y});
    SetClassLongPtrA(
        run.hwndDialog, GCLP_HCURSOR,
        reinterpret_cast<LONG_PTR>(inside ? LoadCursorA(NULL, IDC_CROSS) : run.hcurCapture));
    return true;
}

bool markup_release(CaptureRun& run, int x, int y) {
    MarkupRun& m = run.markup;
    if (!m.bDrawing)
        return false;
    // A move that was still queued behind others is merged into the release.
    const GeoPoint last = m.current.points.back();
    if (last.x != x || last.y != y)
        extend_mark(m.current, GeoPoint{x, y});
    markup_end_stroke(run);
    return true;
}

void markup_end_stroke(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (!m.bDrawing)
        return;
    m.bDrawing = false;
    if (GetCapture() == run.hwndDialog)
        ReleaseCapture();
    Mark mark = std::move(m.current);
    m.current = Mark{};
    if (mark_has_content(mark))
        commit(run, std::move(mark));
    else
        show_area(run, mark_bounds(mark));
}

bool markup_drawing(const CaptureRun& run) {
    return run.markup.bDrawing;
}

bool markup_double_click(CaptureRun& run, int x, int y) {
    if (!run.markup.bEnabled || (run.markup.tools.tool == TOOL_NONE && run.markup.hwndEdit == NULL))
        return false;
    markup_press(run, x, y);
    return true;
}

void on_toolbar_button(CaptureRun& run, int button) {
    if (run.markup.hwndEdit != NULL)
        finish_text(run, true);
    if (run.markup.bDrawing)
        return;
    run_markup_command(run, press_toolbar_button(run.markup.tools, button));
}

void on_markup_key(CaptureRun& run, char key, bool ctrl, bool shift) {
    if (!run.markup.bEnabled || run.markup.bDrawing || run.markup.hwndEdit != NULL)
        return;
    run_markup_command(run, markup_key(run.markup.tools, key, ctrl, shift));
}

void run_markup_command(CaptureRun& run, MarkupCommand command) {
    MarkupRun& m = run.markup;
    switch (command) {
    case COMMAND_TOOL:
    case COMMAND_COLOUR:
    case COMMAND_WIDTH:
        refresh_toolbar(run);
        break;
    case COMMAND_UNDO:
    case COMMAND_REDO:
        if (command == COMMAND_UNDO ? undo_mark(m.marks) : redo_mark(m.marks)) {
            rebuild_marked(run);
            show_area(run, run.state.rcSelection);
        }
        break;
    case COMMAND_ACCEPT:
        if (!selection_is_empty(run.state))
            accept_selection(run);
        break;
    case COMMAND_CANCEL:
        EndDialog(run.hwndDialog, 0);
        break;
    default:
        break;
    }
}

void finish_text(CaptureRun& run, bool commit_text) {
    MarkupRun& m = run.markup;
    HWND edit = m.hwndEdit;
    m.hwndEdit = NULL;
    GeoRect field{0, 0, 0, 0};
    if (edit != NULL) {
        RECT rc;
        GetWindowRect(edit, &rc);
        MapWindowPoints(NULL, run.hwndDialog, reinterpret_cast<POINT*>(&rc), 2);
        field = GeoRect{rc.left, rc.top, rc.right, rc.bottom};
        const int length = GetWindowTextLengthW(edit);
        std::u16string text(static_cast<size_t>(length) + 1, u'\0');
        GetWindowTextW(edit, reinterpret_cast<wchar_t*>(&text[0]), length + 1);
        text.resize(static_cast<size_t>(length));
        if (commit_text && !text.empty()) {
            // The box the text takes in its font, from the field's corner.
            HDC hdc = GetDC(run.hwndDialog);
            HGDIOBJ old = SelectObject(hdc, m.hfontText);
            RECT box{0, 0, 0, 0};
            DrawTextW(hdc, reinterpret_cast<const wchar_t*>(text.c_str()), -1, &box,
                      DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
            SelectObject(hdc, old);
            ReleaseDC(run.hwndDialog, hdc);
            const GeoPoint at = m.editing.points.front();
            m.editing.points = {at, GeoPoint{at.x + box.right, at.y + box.bottom}};
            m.editing.text = text;
        } else {
            m.editing.text.clear();
        }
        SetFocus(run.hwndDialog);
        DestroyWindow(edit);
    }
    if (m.hfontText != NULL)
        DeleteObject(m.hfontText);
    if (m.hbrEdit != NULL)
        DeleteObject(m.hbrEdit);
    m.hfontText = NULL;
    m.hbrEdit = NULL;
    Mark mark = std::move(m.editing);
    m.editing = Mark{};
    if (mark_has_content(mark))
        commit(run, std::move(mark));
    if (!rect_is_empty(field))
        show_area(run, field);
}

HBRUSH text_field_colours(const CaptureRun& run, HWND control, HDC hdc) {
    const MarkupRun& m = run.markup;
    if (control == NULL || control != m.hwndEdit)
        return NULL;
    SetTextColor(hdc, m.editing.colour);
    LOGBRUSH lb;
    GetObjectA(m.hbrEdit, sizeof lb, &lb);
    SetBkColor(hdc, lb.lbColor);
    return m.hbrEdit;
}

void show_selection_change(CaptureRun& run, HDC hdc) {
    MarkupRun& m = run.markup;
    if (!composite_active(run) || same_rect(m.rcShown, run.state.rcSelection))
        return;
    GeoRect changed[8];
    int n = subtract_rect(m.rcShown, run.state.rcSelection, changed);
    n += subtract_rect(run.state.rcSelection, m.rcShown, changed + n);
    restore_area(run, hdc, changed, n);
    m.rcShown = run.state.rcSelection;
}

void markup_selection_cleared(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (!composite_active(run))
        return;
    if (m.hwndEdit != NULL)
        finish_text(run, false);
    m.bDrawing = false;
    m.current = Mark{};
    if (m.marks.visible > 0 || !m.marks.marks.empty()) {
        clear_marks(m.marks);
        rebuild_marked(run);
    }
    HDC hdc = GetDC(run.hwndDialog);
    const GeoRect old = inflate_rect(m.rcShown, run.state.nHandleRadius + 1);
    restore_area(run, hdc, &old, 1);
    m.rcShown = run.state.rcSelection;
    ReleaseDC(run.hwndDialog, hdc);
    sync_toolbar(run);
}

void sync_markup(CaptureRun& run) {
    if (!composite_active(run))
        return;
    if (!same_rect(run.markup.rcShown, run.state.rcSelection)) {
        HDC hdc = GetDC(run.hwndDialog);
        show_selection_change(run, hdc);
        draw_selection_frame(run, hdc);
        ReleaseDC(run.hwndDialog, hdc);
    }
    sync_toolbar(run);
}
