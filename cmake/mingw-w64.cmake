# What the MinGW-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR,
# VARNOCK_MINGW_TRIPLE and VARNOCK_WINE_NAMES (the Wine loaders that start
# its programs, in the order to look for them) and then includes this file.
# varnock.exe links no C or C++ run-time at all (platform/CMakeLists.txt);
# the test programs are linked statically, C++ run-time included. A bare
# Windows runs them all with nothing but its own system DLLs.
set(CMAKE_SYSTEM_NAME Windows)

# The compilers of the POSIX thread model: GoogleTest's locks are std::mutex,
# which the win32 model's C++ library lacks. The program uses no threads;
# the static link takes the thread library along only where it is called.
set(CMAKE_C_COMPILER ${VARNOCK_MINGW_TRIPLE}-gcc-posix)  # GoogleTest's project needs C too
set(CMAKE_CXX_COMPILER ${VARNOCK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VARNOCK_MINGW_TRIPLE}-windres)

# Headers, libraries and packages come from the target's tree only, never
# from the build machine's; programs that run during the build are the
# build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${VARNOCK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# With Wine at hand, ctest (and GoogleTest's test discovery) runs the .exe
# files through it.
find_program(VARNOCK_WINE NAMES ${VARNOCK_WINE_NAMES} PATHS /usr/lib/wine)
if(VARNOCK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNOCK_WINE})
endif()
