// Resource ids of Ostrine.dll, shared by the resource script and the code.
#pragma once

#define IDD_CAPTURE 101
#define IDB_CURSOR_MASK 103
#define IDB_CURSOR_COLOR 104
