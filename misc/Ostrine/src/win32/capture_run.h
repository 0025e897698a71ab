// The record of one capture: what the host asked for, its interaction state and every handle it
// owns, from the frozen screen to the hidden owner window. The Win32 shell holds the record of the
// running capture and hands it to the dialog, the pointer events and the drawing.
//
// Coordinates: the frozen image, the dialog's client area and every rectangle of the state and
// the overlay share one system, "capture coordinates", whose (0, 0) is the top-left pixel of the
// captured area. ptOrigin is where that pixel lies in virtual-screen coordinates (negative when a
// monitor lies left of or above the primary one): screen = capture + ptOrigin.
#pragma once

#include "core/selection_geometry.h"
#include "win32/markup_state.h"
#include "core/monitor_layout.h"
#include "win32/overlay_state.h"

#include <windows.h>

#include <vector>

// What the host asked of one capture: the OSTRINE_CAPTURE_* flags of GetCapBitmapEx (0 for
// GetCapBitmap). Fixed for the whole capture.
struct CaptureOptions {
    DWORD dwFlags = 0;
};

struct CaptureRun {
    CaptureOptions options;
    CaptureState state;
    // The captured area in virtual-screen coordinates: the primary display, or the whole virtual
    // screen with OSTRINE_CAPTURE_ALL_MONITORS. Set before the dialog opens.
    GeoRect rcArea = {0, 0, 0, 0};
    GeoPoint ptOrigin = {0, 0};
    // The monitors within the area, in capture coordinates, the primary first.
    std::vector<MonitorArea> monitors;
    // Why the capture could not be made (the failing step's error); 0 while nothing failed.
    DWORD dwError = 0;
    HWND hwndDialog = NULL;
    HWND hwndOwner = NULL;
    HHOOK hhkKeyboard = NULL;
    // Sees the keys while another thread's window is in front (the capture's thread never gets
    // them then): Esc and Alt+F4 reach the capture through it.
    HHOOK hhkLowLevel = NULL;
    DWORD dwThreadId = 0;
    bool bEscDown = false;
    bool bAltDown = false;
    // The frozen area: the dialog's background.
    HBITMAP hbmScreen = NULL;
    // Size of hbmScreen; zero until the screen has been frozen.
    int nScreenWidth = 0;
    int nScreenHeight = 0;
    HCURSOR hcurArrow = NULL;
    // Built from the bitmap resources when the dialog opens; destroyed when the capture ends.
    HCURSOR hcurCapture = NULL;
    HFONT hfontDialog = NULL;
    // The cursor that the shared dialog class had before the capture replaced it, and whether it
    // was replaced: every ending puts it back.
    HCURSOR hcurClassBefore = NULL;
    // Set by the double-click that accepts: the dialog's own result alone is not trusted, since
    // its modal loop also ends with 1 when a WM_QUIT arrives.
    bool bAccepted = false;
    bool bClassCursorReplaced = false;
    // Ctrl and Shift as the keyboard hook saw them go down and up during the capture.
    bool bCtrlHeld = false;
    // Ctrl, Shift and Enter as the low-level hook saw them. Kept apart from the thread hook's: the
    // low-level hook sees keys as they are typed, ahead of the messages the thread still handles.
    bool bLowLevelCtrl = false;
    bool bLowLevelShift = false;
    bool bEnterDown = false;
    bool bShiftHeld = false;
    // The magnifier, the window outline and the overlay's sizes.
    OverlayState overlay;
    // The toolbar, the marks and the dimmed screen, when the host asked for them.
    MarkupRun markup;
};
