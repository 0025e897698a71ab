// The capture library's face to the host: the exports (declared in include/Ostrine.h) and the
// process-wide result of the latest capture.
#pragma once

#include <windows.h>

// Bitmap of the latest accepted capture, owned by the library; NULL when there is none.
extern HBITMAP hbmResult;
