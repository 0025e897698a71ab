#include "win32/markup_render.h"

#include "core/markup_pixels.h"
#include "core/rect_math.h"
#include "win32/markup_surface.h"

#include <vector>

namespace {

// The box of a two-point mark, its end points inclusive.
RECT box_of(const Mark& m) {
    const GeoPoint a = m.points.front(), b = m.points.back();
    return RECT{a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, (a.x > b.x ? a.x : b.x) + 1,
                (a.y > b.y ? a.y : b.y) + 1};
}

bool is_pixel_tool(MarkTool tool) {
    return tool == TOOL_HIGHLIGHTER || tool == TOOL_MOSAIC;
}

// `view` is placed in virtual-screen coordinates, the mark in the dialog's: `origin` is the
// dialog's (0, 0) on the virtual screen.
void apply_pixel_mark(PixelView view, const Mark& m, GeoPoint origin) {
    const RECT b = box_of(m);
    const GeoRect area{b.left + origin.x, b.top + origin.y, b.right + origin.x,
                       b.bottom + origin.y};
    if (m.tool == TOOL_HIGHLIGHTER)
        highlight_pixels(view, area, m.colour);
    else
        mosaic_pixels(view, area, m.width);
}

// Strokes and text with GDI, in the mark's colour exactly.
void draw_stroke(HDC hdc, const Mark& m) {
    if (m.points.size() < 2)
        return;
    HPEN pen = CreatePen(PS_SOLID, m.width, m.colour);
    HBRUSH fill = CreateSolidBrush(m.colour);
    HGDIOBJ old_pen = SelectObject(hdc, pen);
    HGDIOBJ old_brush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    const GeoPoint a = m.points.front(), b = m.points.back();
    const RECT box = box_of(m);
    switch (m.tool) {
    case TOOL_RECTANGLE:
        Rectangle(hdc, box.left, box.top, box.right, box.bottom);
        break;
    case TOOL_ELLIPSE:
        Ellipse(hdc, box.left, box.top, box.right, box.bottom);
        break;
    case TOOL_LINE:
        MoveToEx(hdc, a.x, a.y, NULL);
        LineTo(hdc, b.x, b.y);
        break;
    case TOOL_ARROW: {
        GeoPoint head[3];
        arrow_head(a, b, m.width, head);
        // The shaft ends inside the head, so its round end does not poke past the tip.
        MoveToEx(hdc, a.x, a.y, NULL);
        LineTo(hdc, (head[1].x + head[2].x) / 2, (head[1].y + head[2].y) / 2);
        HPEN thin = CreatePen(PS_SOLID, 1, m.colour);
        SelectObject(hdc, thin);
        SelectObject(hdc, fill);
        POINT pts[3];
        for (int i = 0; i < 3; ++i)
            pts[i] = POINT{head[i].x, head[i].y};
        Polygon(hdc, pts, 3);
        SelectObject(hdc, pen);
        DeleteObject(thin);
        break;
    }
    case TOOL_PEN: {
        std::vector<POINT> pts;
        pts.reserve(m.points.size());
        for (const GeoPoint& p : m.points)
            pts.push_back(POINT{p.x, p.y});
        Polyline(hdc, pts.data(), static_cast<int>(pts.size()));
        break;
    }
    case TOOL_TEXT: {
        HFONT font = create_text_font(m.width);
        HGDIOBJ old_font = SelectObject(hdc, font);
        const int old_mode = SetBkMode(hdc, TRANSPARENT);
        const COLORREF old_colour = SetTextColor(hdc, m.colour);
        RECT rc{a.x, a.y, b.x, b.y};
        DrawTextW(hdc, reinterpret_cast<const wchar_t*>(m.text.c_str()), -1, &rc,
                  DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE);
        SetTextColor(hdc, old_colour);
        SetBkMode(hdc, old_mode);
        SelectObject(hdc, old_font);
        DeleteObject(font);
        break;
    }
    default:
        break;
    }
    SelectObject(hdc, old_brush);
    SelectObject(hdc, old_pen);
    DeleteObject(fill);
    DeleteObject(pen);
}

// Clips `hdc` to the selection until the matching RestoreDC.
int clip_to_selection(const CaptureRun& run, HDC hdc) {
    const int saved = SaveDC(hdc);
    const GeoRect& s = run.state.rcSelection;
    IntersectClipRect(hdc, s.left, s.top, s.right, s.bottom);
    return saved;
}

} // namespace

static_assert(sizeof(wchar_t) == sizeof(char16_t), "mark text is handed to the wide calls");

HFONT create_text_font(int32_t height) {
    // Not antialiased: the letters are drawn in the mark's colour exactly.
    return CreateFontW(-height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

void draw_mark_into_marked(CaptureRun& run, HDC marked_dc, const Mark& mark) {
    if (is_pixel_tool(mark.tool)) {
        GdiFlush();
        apply_pixel_mark(marked_view(run), mark, capture_origin(run));
    } else {
        draw_stroke(marked_dc, mark);
        GdiFlush();
    }
}

void draw_mark_on_screen(const CaptureRun& run, HDC hdc, const Mark& mark) {
    const int saved = clip_to_selection(run, hdc);
    if (!is_pixel_tool(mark.tool)) {
        draw_stroke(hdc, mark);
        RestoreDC(hdc, saved);
        return;
    }
    // The effect over the whole box, computed on a copy of the marked screen there (so that
    // blocks cut by the selection come out as they will in the result), then shown clipped.
    const RECT b = box_of(mark);
    const GeoRect area = intersect_rects(GeoRect{b.left, b.top, b.right, b.bottom},
                                         GeoRect{0, 0, run.nScreenWidth, run.nScreenHeight});
    if (!rect_is_empty(area) && run.markup.pMarked != NULL) {
        const int32_t w = area.right - area.left, h = area.bottom - area.top;
        std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
        const PixelView all = marked_view(run);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                px[static_cast<size_t>(y) * w + x] =
                    all.pixels[static_cast<size_t>(area.top + y) * all.stride + area.left + x];
        const GeoPoint origin = capture_origin(run);
        apply_pixel_mark(
            PixelView{px.data(), w, h, w, GeoPoint{area.left + origin.x, area.top + origin.y}},
            mark, origin);
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = w;
        bmi.bmiHeader.biHeight = -h;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(hdc, area.left, area.top, static_cast<DWORD>(w), static_cast<DWORD>(h), 0,
                          0, 0, static_cast<UINT>(h), px.data(), &bmi, DIB_RGB_COLORS);
    }
    RestoreDC(hdc, saved);
}

void draw_pen_segment(const CaptureRun& run, HDC hdc, const Mark& pen) {
    if (pen.points.size() < 2)
        return;
    Mark last = pen;
    last.points.assign(pen.points.end() - 2, pen.points.end());
    const int saved = clip_to_selection(run, hdc);
    draw_stroke(hdc, last);
    RestoreDC(hdc, saved);
}
