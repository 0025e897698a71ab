/* Ostrine.dll: lets the user pick a rectangle of the frozen primary display with the mouse.
 *
 * Both exports use the Windows API calling convention (WINAPI, i.e. __stdcall on 32-bit x86;
 * on x86_64 there is only one convention). Their names in the DLL are undecorated and they have
 * fixed ordinals, so GetProcAddress works by name ("GetCapBitmap", "StartCapture") and by
 * ordinal (1, 2). Link against the import library (libOstrine.dll.a) or load the DLL at run time
 * with the function pointer types below. Usable from C and C++. */
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

/* Runs one interactive capture on the calling thread (a modal dialog; the thread's messages are
 * dispatched inside the call) and returns the selected area, which is also put on the clipboard.
 * NULL when the user cancelled. The library owns the bitmap: it stays valid until the next call or
 * until the DLL is unloaded, and the caller must not delete it. One capture at a time per
 * process. */
OSTRINE_API HBITMAP WINAPI GetCapBitmap(void);

/* Always returns 1 and does nothing else. */
OSTRINE_API int WINAPI StartCapture(void);

typedef HBITMAP(WINAPI* OstrineGetCapBitmapFn)(void);
typedef int(WINAPI* OstrineStartCaptureFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* OSTRINE_H */
