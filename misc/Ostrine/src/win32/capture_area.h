// What a capture covers, measured when its dialog opens: the primary display, or with
// OSTRINE_CAPTURE_ALL_MONITORS the whole virtual screen, and the monitors within it.
#pragma once

#include "win32/capture_run.h"

// Sets run.rcArea, run.ptOrigin and run.monitors (capture coordinates, the primary first, each
// with its DPI) from the system's current layout and run.options.
void measure_capture_area(CaptureRun& run);
