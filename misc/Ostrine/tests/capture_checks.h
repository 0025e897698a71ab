// Checks of a whole capture shared by the capture test programs: a rubber band played with real
// input, what the screen and a returned bitmap hold, the endings.
#pragma once

#include <windows.h>

#include <initializer_list>

struct Box {
    int left, top, right, bottom;
};

// The outline's colour as 0x00RRGGBB.
const unsigned kFrameColour = 0x0A6482;

// The four corner handles of the outline of `s` are on the screen.
bool frame_drawn(Box s);
// Number of pixels of `area` on the screen that differ from the host's pattern.
int screen_mismatches(Box area);
// Press at `from`, move through `path`, release; waits for the capture to be taken, the frame of
// `shown` to be drawn and the capture to be released. False (with a failure noted) otherwise.
bool drag(HWND dialog, POINT from, std::initializer_list<POINT> path, Box shown);
// A double-click at (x, y); waits until the dialog is gone.
bool accept_at(HWND dialog, int x, int y);
void escape();
// Number of differences between the bitmap's pixels and the pattern of `where`; -1 when the
// bitmap is missing or has another size.
int pattern_mismatches(HBITMAP bitmap, Box where);
// Puts a text on the clipboard; returns the clipboard's sequence number afterwards.
DWORD put_marker_on_clipboard(const char* text);
// True when the clipboard holds exactly `text` as CF_TEXT and no bitmap.
bool clipboard_holds_marker(const char* text);
