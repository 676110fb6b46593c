# Cross-builds the Win32 console program for 32-bit x86 with MinGW-w64:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VARNOCK_MINGW_TRIPLE i686-w64-mingw32)
set(VARNOCK_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
