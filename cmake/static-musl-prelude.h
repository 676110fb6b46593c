// Read first by every source of the static musl program (-include). The
// C++ library's headers were configured for glibc and ask
// __GLIBC_PREREQ(major, minor) whether the C library is at least that
// glibc: musl is no glibc of any version.
#pragma once
#ifndef __GLIBC_PREREQ
#define __GLIBC_PREREQ(major, minor) 0
#endif
