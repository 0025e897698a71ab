// Drives a capture the way a user would, from a second thread of the host: real input events
// (SendInput), and waits on observable state (windows, mouse capture, cursors, screen pixels)
// with a timeout instead of fixed sleeps. Also the host's side of the picture: a full-screen
// window with a known, position-dependent pixel pattern, and pixel read-back of the screen and of
// bitmaps.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

// Pixels as 0x00RRGGBB, the layout of a 32-bit top-down DIB read as little-endian words.
uint32_t pattern_pixel(int x, int y);
uint32_t rgb_pixel(COLORREF colour);

// The host's full-screen window showing the pattern, painted and in the foreground.
HWND show_pattern_window();
// The same with any picture of the screen's size (0x00RRGGBB, row by row).
HWND show_image_window(const std::vector<uint32_t>& image);

// Handles the host's pending messages until the whole screen shows the host's picture again (after
// a capture the windows below repaint asynchronously). False after the timeout.
bool wait_for_pattern_on_screen(DWORD timeout_ms = 3000);

int screen_width();
int screen_height();
// The virtual screen (every monitor) in screen coordinates; left and top may be negative.
RECT virtual_screen();

void send_move(int x, int y);
// Moves the pointer to (x, y) until `arrived` holds. Wine's X11 driver now and then replays a
// stale position after a move; the move is then sent again, by way of a neighbouring pixel so
// that it is a move even where the pointer already is. False after the timeout.
bool move_until(int x, int y, const std::function<bool()>& arrived, DWORD timeout_ms = 3000);
void send_button(bool down);
void send_key(WORD vk, bool down);
void send_double_click(int x, int y);

// Polls `done` until it holds or `timeout_ms` passes; the result of the last poll.
bool wait_until(const std::function<bool()>& done, DWORD timeout_ms = 3000);

// The open capture dialog once its set-up has finished and it is shown; NULL after the timeout.
HWND wait_for_capture_dialog(DWORD timeout_ms = 5000);
// The window that holds the mouse capture of `hwnd`'s thread.
HWND mouse_capture_of(HWND hwnd);
HCURSOR class_cursor(HWND hwnd);

// Screen pixels of `rc`, row by row.
std::vector<uint32_t> read_screen(const RECT& rc);
uint32_t screen_pixel(int x, int y);
// A box on the screen framed in `colour`, found from its corner pixel (x, y): the frame runs
// from there in the direction of dx (+1 or -1) along the row and of dy along the column. Empty
// when (x, y) is not of that colour.
RECT find_framed_box(int x, int y, int dx, int dy, uint32_t colour);

// A bitmap's pixels, row by row from the top; width and height through the pointers.
std::vector<uint32_t> bitmap_pixels(HBITMAP bitmap, int* width, int* height);

// Writes 0x00RRGGBB pixels as a 24-bit .bmp file.
bool save_bmp(const char* path, const std::vector<uint32_t>& pixels, int width, int height);

// Runs `script` on a second thread against the capture that `capture` runs on this thread, and
// returns what `capture` returned. If the script returns with the dialog still open, the dialog
// is closed so that the call cannot hang.
HBITMAP drive_capture(HBITMAP(WINAPI* capture)(), const std::function<void(HWND dialog)>& script);
// The same for any call that runs a capture (GetCapBitmapEx with its options).
HBITMAP drive_capture(const std::function<HBITMAP()>& capture,
                      const std::function<void(HWND dialog)>& script);
