// The full-screen capture dialog (resource 101): freezes the primary display with the pointer
// drawn in, shows it as its own background as a topmost window, and routes window messages to
// the pointer interaction. Ends with 1 on a double-click, with 0 on Esc without a selection.
#pragma once

#include <windows.h>

// Private message from the keyboard hook: Esc went down. wParam and lParam are 0.
const UINT WM_CAPTURE_ESC = WM_USER + 1000;
// Private message from the keyboard hook: an arrow key or Enter went down. wParam is the
// CaptureKey, lParam has bit 0 set for Ctrl and bit 1 for Shift.
const UINT WM_CAPTURE_KEY = WM_USER + 1001;

// Process-wide handles of the open dialog. hbmScreen and hbrScreen are released by the capture
// run once the dialog has ended; the capture cursor is destroyed when the dialog is.
extern HWND hwndDialog;
extern HBITMAP hbmScreen;
extern HBRUSH hbrScreen;
extern HCURSOR hcurArrow;
extern HCURSOR hcurCapture;
extern HFONT hfontDialog;

INT_PTR CALLBACK capture_dialog_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL on_init_dialog(HWND hwnd);
void on_paint(HWND hwnd);
void on_close(HWND hwnd);
// Handles every message already queued for the thread; returns 1.
int pump_messages();
