# Cross build for 32-bit Windows with Debian's mingw-w64:
#   cmake -S . -B build/i686 --toolchain cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
