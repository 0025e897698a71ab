// The record of one capture: its interaction state and every handle it owns, from the frozen
// screen to the hidden owner window. The Win32 shell holds the record of the running capture and
// hands it to the dialog, the pointer events and the drawing.
#pragma once

#include "core/selection_geometry.h"
#include "win32/markup_state.h"
#include "win32/overlay_state.h"

#include <windows.h>

struct CaptureRun {
    CaptureState state;
    HWND hwndDialog = NULL;
    HWND hwndOwner = NULL;
    HHOOK hhkKeyboard = NULL;
    // Sees the keys while another thread's window is in front (the capture's thread never gets
    // them then): Esc and Alt+F4 reach the capture through it.
    HHOOK hhkLowLevel = NULL;
    DWORD dwThreadId = 0;
    bool bEscDown = false;
    bool bAltDown = false;
    // The frozen primary display and the pattern brush made from it: the dialog's background.
    HBITMAP hbmScreen = NULL;
    HBRUSH hbrScreen = NULL;
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
