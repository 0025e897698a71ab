// The full-screen capture dialog (resource 101): freezes the captured area (the primary display or
// the whole virtual screen, dead zones black) with the pointer drawn in unless the host asked for
// none, covers the area with it as a topmost window, and routes window messages to the pointer
// interaction. Ends with 1 on a double-click, with 0 on Esc without a selection and when the
// display layout changes (WM_DISPLAYCHANGE).
#pragma once

#include "win32/capture_run.h"

#include <windows.h>

// Private message from the keyboard hook: Esc went down. wParam and lParam are 0.
const UINT WM_CAPTURE_ESC = WM_USER + 1000;
// Private message from the keyboard hook: an arrow key or Enter went down. wParam is the
// CaptureKey, lParam has bit 0 set for Ctrl and bit 1 for Shift.
const UINT WM_CAPTURE_KEY = WM_USER + 1001;

// Private messages from the keyboard hook for the mark-up: a tool key went down (wParam the
// character it stands for, lParam as for WM_CAPTURE_KEY), and Enter (wParam 1) or Esc (wParam 0)
// in the text field.
const UINT WM_MARKUP_KEY = WM_USER + 1010;
const UINT WM_MARKUP_TEXT = WM_USER + 1011;

// The dialog procedure; DialogBoxParamA passes the capture's record as the creation parameter.
// The dialog creates the record's screen image, cursors and font at WM_INITDIALOG; the capture
// run releases the image once the dialog has ended.
INT_PTR CALLBACK capture_dialog_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL on_init_dialog(CaptureRun& run, HWND hwnd);
void on_paint(CaptureRun& run);
void on_close(CaptureRun& run);
// Before the freeze: lets the pending repaints happen and takes out the keys typed ahead, leaving
// the host's other messages in its queue; returns 1.
int pump_messages();
