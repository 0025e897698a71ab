// A C++ host linked through the import library: the header compiles as C++ and every export
// it uses resolves at load time. It asks GetCapBitmapEx for nothing it would have to show: a bad
// request must come back at once with ERROR_INVALID_PARAMETER.
#include "Ostrine.h"

#include <cstdio>

int main() {
    OSTRINE_CAPTURE request = {};
    request.cbSize = sizeof request - 1;
    SetLastError(0);
    const HBITMAP refused = GetCapBitmapEx(&request);
    const DWORD error = GetLastError();
    std::printf("StartCapture() = %d, GetCapBitmapEx(bad size) = %p, error %lu\n", StartCapture(),
                static_cast<void*>(refused), static_cast<unsigned long>(error));
    return refused == NULL && error == ERROR_INVALID_PARAMETER ? 0 : 1;
}
