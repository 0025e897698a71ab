/* Ostrine.dll: lets the user pick a rectangle of the frozen screen with the mouse: the primary
 * display (GetCapBitmap), or with GetCapBitmapEx optionally every monitor of the virtual desktop.
 *
 * The exports use the Windows API calling convention (WINAPI, i.e. __stdcall on 32-bit x86;
 * on x86_64 there is only one convention). Their names in the DLL are undecorated and they have
 * fixed ordinals, so GetProcAddress works by name ("GetCapBitmap", "StartCapture",
 * "GetCapBitmapEx") and by ordinal (1, 2, 3). Link against the import library (libOstrine.dll.a)
 * or load the DLL at run time with the function pointer types below. Usable from C and C++.
 *
 * During a capture the calling thread runs per-monitor DPI aware, so that the result holds the
 * screen's physical pixels whatever the host's own awareness; the thread's previous awareness is
 * restored before the call returns. */
#ifndef OSTRINE_H
#define OSTRINE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The DLL's own sources define OSTRINE_API as empty: they take the export list from Ostrine.def. */
#ifndef OSTRINE_API
#define OSTRINE_API __declspec(dllimport)
#endif

#define OSTRINE_ORDINAL_GETCAPBITMAP 1
#define OSTRINE_ORDINAL_STARTCAPTURE 2
#define OSTRINE_ORDINAL_GETCAPBITMAPEX 3

/* Runs one interactive capture of the primary display on the calling thread (a modal dialog; the
 * thread's messages are dispatched inside the call) and returns the selected area, which is also
 * put on the clipboard. NULL when the user cancelled. The library owns the bitmap: it stays valid
 * until the next call or until the DLL is unloaded, and the caller must not delete it. One
 * capture at a time per process. */
OSTRINE_API HBITMAP WINAPI GetCapBitmap(void);

/* Always returns 1 and does nothing else. */
OSTRINE_API int WINAPI StartCapture(void);

/* Options and outcome of GetCapBitmapEx. */
typedef struct OSTRINE_CAPTURE {
    DWORD cbSize;     /* in: sizeof(OSTRINE_CAPTURE) */
    DWORD dwFlags;    /* in: OSTRINE_CAPTURE_* below */
    RECT rcSelection; /* out: the accepted rectangle in virtual-screen coordinates (may be
                         negative); empty otherwise */
} OSTRINE_CAPTURE;

/* the whole virtual desktop, not only the primary display */
#define OSTRINE_CAPTURE_ALL_MONITORS 0x00000001u
#define OSTRINE_CAPTURE_NO_CLIPBOARD 0x00000002u /* leave the clipboard as it is */
#define OSTRINE_CAPTURE_NO_POINTER 0x00000004u   /* freeze the screen without the mouse pointer */
/* a toolbar beside the finished selection to mark it up (boxes, ellipses, lines, arrows, pen,
   highlighter, mosaic, text; undo and redo); the result holds the marks */
#define OSTRINE_CAPTURE_MARKUP 0x00000008u
/* the frozen screen outside the selection shown darkened; the result is not */
#define OSTRINE_CAPTURE_DIM 0x00000010u

/* Like GetCapBitmap, with options. The caller owns the returned bitmap and deletes it with
 * DeleteObject; the library never does. On NULL, GetLastError() tells why: ERROR_CANCELLED (the
 * user cancelled), ERROR_BUSY (a capture is already running in this process),
 * ERROR_INVALID_PARAMETER (a NULL pointer, a cbSize other than sizeof(OSTRINE_CAPTURE), or
 * unknown flags), or the error of the step that failed (ERROR_NOT_ENOUGH_MEMORY when it set
 * none). */
OSTRINE_API HBITMAP WINAPI GetCapBitmapEx(OSTRINE_CAPTURE* capture);

typedef HBITMAP(WINAPI* OstrineGetCapBitmapFn)(void);
typedef int(WINAPI* OstrineStartCaptureFn)(void);
typedef HBITMAP(WINAPI* OstrineGetCapBitmapExFn)(OSTRINE_CAPTURE* capture);

#ifdef __cplusplus
}
#endif

#endif /* OSTRINE_H */
