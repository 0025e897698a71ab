#include "win32/markup_surface.h"

#include "core/rect_math.h"
#include "win32/markup_render.h"

#include <cstring>

namespace {

HBITMAP make_dib(int width, int height, uint32_t** bits) {
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height; // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* p = NULL;
    HBITMAP dib = CreateDIBSection(NULL, &bmi, DIB_RGB_COLORS, &p, NULL, 0);
    *bits = dib != NULL ? static_cast<uint32_t*>(p) : NULL;
    return dib;
}

// A copy of the frozen screen as a DIB section.
HBITMAP copy_screen(const CaptureRun& run, uint32_t** bits) {
    HBITMAP dib = make_dib(run.nScreenWidth, run.nScreenHeight, bits);
    if (dib == NULL)
        return NULL;
    HDC screen = GetDC(NULL);
    HDC to = CreateCompatibleDC(screen);
    HDC from = CreateCompatibleDC(screen);
    HGDIOBJ old_to = SelectObject(to, dib);
    HGDIOBJ old_from = SelectObject(from, run.hbmScreen);
    const BOOL copied = BitBlt(to, 0, 0, run.nScreenWidth, run.nScreenHeight, from, 0, 0, SRCCOPY);
    SelectObject(to, old_to);
    SelectObject(from, old_from);
    DeleteDC(to);
    DeleteDC(from);
    ReleaseDC(NULL, screen);
    GdiFlush();
    if (!copied) {
        DeleteObject(dib);
        *bits = NULL;
        return NULL;
    }
    return dib;
}

HBITMAP inside_source(const CaptureRun& run) {
    return run.markup.hbmMarked != NULL ? run.markup.hbmMarked : run.hbmScreen;
}

HBITMAP outside_source(const CaptureRun& run) {
    return run.markup.hbmDim != NULL ? run.markup.hbmDim : run.hbmScreen;
}

void blit_from(HDC hdc, HDC mdc, const GeoRect& rc) {
    if (!rect_is_empty(rc))
        BitBlt(hdc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mdc, rc.left, rc.top,
               SRCCOPY);
}

} // namespace

bool composite_active(const CaptureRun& run) {
    return run.markup.bEnabled || run.markup.bDim;
}

bool open_markup_surfaces(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (m.bEnabled) {
        m.hbmMarked = copy_screen(run, &m.pMarked);
        if (m.hbmMarked == NULL)
            return false;
    }
    if (m.bDim) {
        m.hbmDim = copy_screen(run, &m.pDim);
        if (m.hbmDim == NULL)
            return false;
        dim_pixels(PixelView{m.pDim, run.nScreenWidth, run.nScreenHeight, run.nScreenWidth,
                             GeoPoint{0, 0}});
    }
    return true;
}

void release_markup_surfaces(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (m.hbmMarked != NULL)
        DeleteObject(m.hbmMarked);
    if (m.hbmDim != NULL)
        DeleteObject(m.hbmDim);
    m.hbmMarked = m.hbmDim = NULL;
    m.pMarked = m.pDim = NULL;
}

HBITMAP result_source(const CaptureRun& run) {
    return inside_source(run);
}

void restore_area(const CaptureRun& run, HDC hdc, const GeoRect* rects, int count) {
    HDC inside = CreateCompatibleDC(hdc);
    HGDIOBJ old_inside = SelectObject(inside, inside_source(run));
    const bool two = inside_source(run) != outside_source(run);
    HDC outside = two ? CreateCompatibleDC(hdc) : NULL;
    HGDIOBJ old_outside = two ? SelectObject(outside, outside_source(run)) : NULL;
    const GeoRect& sel = run.state.rcSelection;
    for (int i = 0; i < count; ++i) {
        if (!two) {
            blit_from(hdc, inside, rects[i]);
            continue;
        }
        GeoRect pieces[4];
        const int n = subtract_rect(rects[i], sel, pieces);
        for (int k = 0; k < n; ++k)
            blit_from(hdc, outside, pieces[k]);
        blit_from(hdc, inside, intersect_rects(rects[i], sel));
    }
    SelectObject(inside, old_inside);
    DeleteDC(inside);
    if (two) {
        SelectObject(outside, old_outside);
        DeleteDC(outside);
    }
}

void rebuild_marked(CaptureRun& run) {
    MarkupRun& m = run.markup;
    if (m.hbmMarked == NULL)
        return;
    HDC screen = GetDC(NULL);
    HDC to = CreateCompatibleDC(screen);
    HDC from = CreateCompatibleDC(screen);
    HGDIOBJ old_to = SelectObject(to, m.hbmMarked);
    HGDIOBJ old_from = SelectObject(from, run.hbmScreen);
    BitBlt(to, 0, 0, run.nScreenWidth, run.nScreenHeight, from, 0, 0, SRCCOPY);
    SelectObject(from, old_from);
    DeleteDC(from);
    for (size_t i = 0; i < m.marks.visible; ++i)
        draw_mark_into_marked(run, to, m.marks.marks[i]);
    SelectObject(to, old_to);
    DeleteDC(to);
    ReleaseDC(NULL, screen);
}

PixelView marked_view(const CaptureRun& run) {
    return PixelView{run.markup.pMarked, run.nScreenWidth, run.nScreenHeight, run.nScreenWidth,
                     capture_origin(run)};
}

GeoPoint capture_origin(const CaptureRun& run) {
    return run.ptOrigin;
}
