// Library entry point: the only clean-up at unload is the last result bitmap.
#include "capture_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_DETACH && hbmResult != NULL) {
        DeleteObject(hbmResult);
        hbmResult = NULL;
    }
    return TRUE;
}
