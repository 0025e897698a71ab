// Changes the primary display's mode, as a user's display settings would:
//   ostrine_display_switch WIDTH HEIGHT
// Exit status 0 when the system took the new mode. Under Wine only a 64-bit program reaches the X
// server's layout this way; the system then sends every top-level window WM_DISPLAYCHANGE.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        printf("usage: ostrine_display_switch WIDTH HEIGHT\n");
        return 2;
    }
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = static_cast<DWORD>(atoi(argv[1]));
    mode.dmPelsHeight = static_cast<DWORD>(atoi(argv[2]));
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    const LONG result = ChangeDisplaySettingsExA(NULL, &mode, NULL, 0, NULL);
    printf("ChangeDisplaySettingsEx %s x %s: %ld\n", argv[1], argv[2], result);
    return result == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
}
