# The part every Linux cross toolchain shares; the toolchain file sets
# CMAKE_SYSTEM_PROCESSOR and VARNOCK_CROSS_TRIPLE (Debian's name of the cross
# compiler, g++-<triple>) first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VARNOCK_CROSS_TRIPLE}-gcc)  # GoogleTest's project needs C too
set(CMAKE_CXX_COMPILER ${VARNOCK_CROSS_TRIPLE}-g++)

# Headers, libraries and packages come from the target's tree only, never
# from the build machine's; programs that run during the build are the
# build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${VARNOCK_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# With qemu-user at hand, ctest (and GoogleTest's test discovery) runs the
# target's programs through it. The tests are linked against the cross
# compiler's glibc, whose loader and libraries qemu finds in that tree (-L).
find_program(VARNOCK_QEMU NAMES qemu-${CMAKE_SYSTEM_PROCESSOR} qemu-${CMAKE_SYSTEM_PROCESSOR}-static)
if(VARNOCK_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNOCK_QEMU} -L /usr/${VARNOCK_CROSS_TRIPLE})
endif()
