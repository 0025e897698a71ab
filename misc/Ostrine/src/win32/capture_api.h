// The capture library's face to the host: the exports (declared in include/Ostrine.h), one whole
// capture run, the thread keyboard hook, and the process-wide handles they own.
#pragma once

#include "win32/capture_run.h"

#include <windows.h>

// The library's own module, as DllMain received it: dialog and bitmap resources come from it.
extern HINSTANCE hinstModule;
// Bitmap of the latest accepted capture, owned by the library; NULL when there is none. Deleted
// at the next GetCapBitmap and when the library leaves the process.
extern HBITMAP hbmResult;

// How one capture ended.
struct CaptureResult {
    HBITMAP hbmImage = NULL;      // the accepted pixels, owned by the caller; NULL otherwise
    RECT rcScreen = {0, 0, 0, 0}; // where they lay, in virtual-screen coordinates
    DWORD dwError = 0; // 0 with an image; else ERROR_CANCELLED or the failing step's error
};

// Runs the capture dialog on the calling thread with the host's options, per-monitor DPI aware.
// An image only when the user accepted a selection with pixels and they could be copied.
CaptureResult run_capture(const CaptureOptions& options);

// The capture thread's keyboard hook: sends WM_CAPTURE_ESC to the dialog on the first key-down of
// Esc, WM_CAPTURE_KEY on the first key-down of Enter and on every key-down of an arrow, never
// swallowing them; an Alt+F4 aimed at another of the thread's windows closes the capture instead.
LRESULT CALLBACK keyboard_hook_proc(int nCode, WPARAM wParam, LPARAM lParam);
// The low-level keyboard hook of the capture's duration: while a window of another thread is in
// front, Esc and Alt+F4 go to the capture (and no further).
LRESULT CALLBACK low_level_keyboard_proc(int nCode, WPARAM wParam, LPARAM lParam);
