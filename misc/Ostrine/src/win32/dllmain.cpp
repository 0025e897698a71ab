// Library entry point: notes the module handle; the only clean-up at unload is the last result.
#include "win32/capture_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        hinstModule = instance;
    if (reason == DLL_PROCESS_DETACH && hbmResult != NULL) {
        DeleteObject(hbmResult);
        hbmResult = NULL;
    }
    return TRUE;
}
