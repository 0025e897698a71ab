// What the mark-up adds to one capture (OSTRINE_CAPTURE_MARKUP, OSTRINE_CAPTURE_DIM): the marked
// and the darkened copies of the frozen screen, the marks, the toolbar's choices and windows, the
// mark being drawn and the text being typed. Part of the capture's record.
#pragma once

#include "core/markup_model.h"
#include "core/markup_toolbar.h"

#include <windows.h>

#include <cstdint>

struct MarkupRun {
    bool bEnabled = false; // the toolbar and the tools
    bool bDim = false;     // the screen outside the selection darkened
    MarkupTools tools;
    MarkList marks;
    // A mark being drawn with the button down, as it shows on the screen.
    bool bDrawing = false;
    Mark current;
    // The frozen screen with the visible marks drawn on it, unclipped (the selection clips it when
    // shown and cropped), and the frozen screen darkened. 32-bit top-down DIB sections.
    HBITMAP hbmMarked = NULL;
    uint32_t* pMarked = NULL;
    HBITMAP hbmDim = NULL;
    uint32_t* pDim = NULL;
    // The toolbar (a child of the dialog), its tooltip control and where the toolbar is shown.
    HWND hwndToolbar = NULL;
    HWND hwndTooltip = NULL;
    bool bToolbarShown = false;
    GeoRect rcToolbar = {0, 0, 0, 0};
    GeoRect rcPlacedFor = {0, 0, 0, 0}; // the selection the toolbar was placed beside
    ToolbarLayout layout = {};
    // The selection whose inside the screen shows bright and marked.
    GeoRect rcShown = {0, 0, 0, 0};
    // The text being typed: an edit control over the selection, its font and background, and the
    // mark it becomes.
    HWND hwndEdit = NULL;
    HFONT hfontText = NULL;
    HBRUSH hbrEdit = NULL;
    Mark editing;
};
