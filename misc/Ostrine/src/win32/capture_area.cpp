#include "win32/capture_area.h"

#include "Ostrine.h"
#include "win32/dpi_awareness.h"

namespace {

struct Collect {
    CaptureRun* run;
    int32_t display_dpi;
};

GeoRect clip(const RECT& rc, const GeoRect& area) {
    GeoRect c{rc.left > area.left ? rc.left : area.left, rc.top > area.top ? rc.top : area.top,
              rc.right < area.right ? rc.right : area.right,
              rc.bottom < area.bottom ? rc.bottom : area.bottom};
    return c;
}

BOOL CALLBACK add_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
    Collect& c = *reinterpret_cast<Collect*>(param);
    MONITORINFO info;
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info))
        return TRUE;
    CaptureRun& run = *c.run;
    GeoRect rc = clip(info.rcMonitor, run.rcArea);
    if (rc.right <= rc.left || rc.bottom <= rc.top)
        return TRUE;
    rc = GeoRect{rc.left - run.ptOrigin.x, rc.top - run.ptOrigin.y, rc.right - run.ptOrigin.x,
                 rc.bottom - run.ptOrigin.y};
    const MonitorArea area{rc, monitor_dpi(monitor, c.display_dpi)};
    if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0)
        run.monitors.insert(run.monitors.begin(), area);
    else
        run.monitors.push_back(area);
    return TRUE;
}

} // namespace

void measure_capture_area(CaptureRun& run) {
    HDC screen = GetDC(NULL);
    const int32_t display_dpi = screen != NULL ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != NULL)
        ReleaseDC(NULL, screen);
    run.monitors.clear();
    if ((run.options.dwFlags & OSTRINE_CAPTURE_ALL_MONITORS) != 0) {
        const int32_t x = GetSystemMetrics(SM_XVIRTUALSCREEN);
        const int32_t y = GetSystemMetrics(SM_YVIRTUALSCREEN);
        run.rcArea = GeoRect{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                             y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
        run.ptOrigin = GeoPoint{x, y};
        Collect c{&run, display_dpi};
        EnumDisplayMonitors(NULL, NULL, add_monitor, reinterpret_cast<LPARAM>(&c));
    } else {
        run.rcArea = GeoRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        run.ptOrigin = GeoPoint{0, 0};
        const POINT origin = {0, 0};
        run.monitors.push_back(
            MonitorArea{run.rcArea, monitor_dpi(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY),
                                                display_dpi)});
    }
    if (run.monitors.empty())
        run.monitors.push_back(MonitorArea{
            GeoRect{0, 0, run.rcArea.right - run.rcArea.left, run.rcArea.bottom - run.rcArea.top},
            display_dpi});
}
