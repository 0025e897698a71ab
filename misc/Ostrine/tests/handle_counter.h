// Counts the GDI and USER objects that a loaded Ostrine.dll creates and releases, by redirecting
// the DLL's own imports of the creating and releasing calls. Works where the system reports no
// per-process object counts (Wine), and on Windows alike.
#pragma once

#include <windows.h>

#include <set>

struct HandleCounts {
    std::set<HGDIOBJ> gdi_objects; // created, not yet deleted nor handed to the clipboard
    std::set<HCURSOR> cursors;     // created, not yet destroyed
    std::set<HWND> windows;        // ever created (a destroyed one is checked with IsWindow)
    long dcs_held;                 // GetDC/GetWindowDC minus ReleaseDC
    long gdi_created;
    long gdi_deleted;
};

// Redirects the imports of `dll`; false when one of them is missing from its import table.
bool count_handles_of(HMODULE dll);
HandleCounts& handle_counts();

// Failures on demand, once count_handles_of has redirected the DLL's imports: while set, a
// CreateCompatibleBitmap or BitBlt of exactly that width and height fails (returns NULL or FALSE),
// as out of memory or a locked desktop would make it. {0, 0} fails nothing.
struct FailingSize {
    int width, height;
};
void fail_bitmaps_of_size(FailingSize size);
void fail_blits_of_size(FailingSize size);
