# Cross-builds the Windows console program for x86-64 (a PE32+ image) with
# MinGW-w64:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
# Wine runs it in a 64-bit Linux process: wine64 starts it on any x86-64
# machine, whether or not its kernel runs 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARNOCK_MINGW_TRIPLE x86_64-w64-mingw32)
set(VARNOCK_WINE_NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
