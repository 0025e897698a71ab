/* Example host for Ostrine.dll, linked through the import library (libOstrine.dll.a).
 *
 *   ostrine_example_host                   calls StartCapture and prints its result
 *   ostrine_example_host capture [OUT.bmp] then also runs one interactive capture of the whole
 *                                          desktop (every monitor), prints where the selection
 *                                          lay and the size of the returned bitmap, and saves it
 *                                          as OUT.bmp
 *
 * Ostrine.dll must be next to the program or on the DLL search path. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Ostrine.h"

/* Writes the bitmap as a 24-bit bottom-up .bmp file; 0 on success. */
static int save_bitmap(HBITMAP image, const char* path) {
    BITMAP info;
    BITMAPINFO bmi;
    BITMAPFILEHEADER file;
    HDC screen;
    unsigned char* pixels;
    FILE* out;
    int ok, stride, rows;
    if (GetObjectA(image, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight <= 0)
        return -1;
    stride = (info.bmWidth * 3 + 3) & ~3;
    pixels = (unsigned char*)malloc((size_t)stride * (size_t)info.bmHeight);
    if (pixels == NULL)
        return -1;
    memset(&bmi, 0, sizeof bmi);
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = info.bmWidth;
    bmi.bmiHeader.biHeight = info.bmHeight; /* bottom-up, as the file stores it */
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    bmi.bmiHeader.biCompression = BI_RGB;
    screen = GetDC(NULL);
    rows = GetDIBits(screen, image, 0, (UINT)info.bmHeight, pixels, &bmi, DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    if (rows != info.bmHeight) {
        free(pixels);
        return -1;
    }
    memset(&file, 0, sizeof file);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof bmi.bmiHeader;
    file.bfSize = file.bfOffBits + (DWORD)stride * (DWORD)info.bmHeight;
    bmi.bmiHeader.biSizeImage = (DWORD)stride * (DWORD)info.bmHeight;
    out = fopen(path, "wb");
    if (out == NULL) {
        free(pixels);
        return -1;
    }
    ok = fwrite(&file, sizeof file, 1, out) == 1 &&
         fwrite(&bmi.bmiHeader, sizeof bmi.bmiHeader, 1, out) == 1 &&
         fwrite(pixels, bmi.bmiHeader.biSizeImage, 1, out) == 1;
    free(pixels);
    if (fclose(out) != 0)
        ok = 0;
    if (!ok)
        remove(path);
    return ok ? 0 : -1;
}

int main(int argc, char** argv) {
    int started = StartCapture();
    printf("StartCapture() = %d\n", started);

    if (argc > 1 && strcmp(argv[1], "capture") == 0) {
        OSTRINE_CAPTURE request;
        HBITMAP image;
        memset(&request, 0, sizeof request);
        request.cbSize = sizeof request;
        request.dwFlags = OSTRINE_CAPTURE_ALL_MONITORS;
        /* Blocks while the user selects; the bitmap is ours to delete. */
        image = GetCapBitmapEx(&request);
        if (image == NULL) {
            DWORD error = GetLastError();
            if (error == ERROR_CANCELLED)
                printf("no capture (cancelled)\n");
            else
                printf("no capture (error %lu)\n", (unsigned long)error);
            return error == ERROR_CANCELLED && started == 1 ? 0 : 1;
        } else {
            BITMAP info;
            int failed = 0;
            GetObjectA(image, sizeof info, &info);
            printf("selected (%ld,%ld)-(%ld,%ld) on the desktop\n", (long)request.rcSelection.left,
                   (long)request.rcSelection.top, (long)request.rcSelection.right,
                   (long)request.rcSelection.bottom);
            printf("captured %ld x %ld pixels, also on the clipboard\n", (long)info.bmWidth,
                   (long)info.bmHeight);
            if (argc > 2) {
                if (save_bitmap(image, argv[2]) != 0) {
                    printf("could not write %s\n", argv[2]);
                    failed = 1;
                } else {
                    printf("saved %s\n", argv[2]);
                }
            }
            DeleteObject(image);
            if (failed)
                return 1;
        }
    }
    return started == 1 ? 0 : 1;
}
