/* Example host for Ostrine.dll, linked through the import library (libOstrine.dll.a).
 *
 *   ostrine_example_host           calls StartCapture and prints its result
 *   ostrine_example_host capture   then also runs one interactive capture
 *
 * Ostrine.dll must be next to the program or on the DLL search path. */
#include <stdio.h>
#include <string.h>

#include "Ostrine.h"

int main(int argc, char** argv) {
    int started = StartCapture();
    printf("StartCapture() = %d\n", started);

    if (argc > 1 && strcmp(argv[1], "capture") == 0) {
        /* Blocks while the user selects; the DLL keeps owning the bitmap. */
        HBITMAP image = GetCapBitmap();
        if (image == NULL) {
            printf("no capture\n");
        } else {
            BITMAP info;
            GetObjectA(image, sizeof info, &info);
            printf("captured %ld x %ld pixels, also on the clipboard\n", (long)info.bmWidth,
                   (long)info.bmHeight);
        }
    }
    return started == 1 ? 0 : 1;
}
