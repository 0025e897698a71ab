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

// Runs the capture dialog on the calling thread. True when the user accepted a non-empty
// selection and *slot received its pixels; false otherwise, *slot untouched.
bool run_capture(HBITMAP* slot);

// The capture thread's keyboard hook: sends WM_CAPTURE_ESC to the dialog on the first key-down of
// Esc, WM_CAPTURE_KEY on the first key-down of Enter and on every key-down of an arrow, never
// swallowing them; an Alt+F4 aimed at another of the thread's windows closes the capture instead.
LRESULT CALLBACK keyboard_hook_proc(int nCode, WPARAM wParam, LPARAM lParam);
// The low-level keyboard hook of the capture's duration: while a window of another thread is in
// front, Esc and Alt+F4 go to the capture (and no further).
LRESULT CALLBACK low_level_keyboard_proc(int nCode, WPARAM wParam, LPARAM lParam);
