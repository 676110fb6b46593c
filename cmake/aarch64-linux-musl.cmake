# Cross-builds the Linux program for 64-bit ARM (aarch64) with Debian's
# g++-aarch64-linux-gnu:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-musl.cmake
# The program is the one static file over musl that the native build makes
# (cmake/static-musl.cmake, with musl-dev:arm64 after
# `dpkg --add-architecture arm64`). The tests link the cross compiler's own
# glibc, as the native tests link the build machine's, and run under
# qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VARNOCK_CROSS_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)

# The static program over musl in this cross build too.
set(VARNOCK_STATIC_MUSL_CROSS ON)
