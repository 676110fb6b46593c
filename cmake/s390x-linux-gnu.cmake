# Cross-builds for s390x, a big-endian 64-bit machine, with Debian's
# g++-s390x-linux-gnu and its glibc; the tests run under qemu-s390x:
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
# It is there for the other byte order, which the word-at-a-time searches
# and the record layouts would show.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(VARNOCK_CROSS_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
