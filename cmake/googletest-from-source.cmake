# A cross build finds no GoogleTest built for its target system. Debian's
# libgtest-dev ships the sources as well: build them here, with the tests,
# and make find_package(GTest) take these targets (GTest::gtest,
# GTest::gtest_main, GTest::gmock, ...) instead of searching.
set(VARNOCK_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for a cross build")
if(NOT EXISTS ${VARNOCK_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${VARNOCK_GOOGLETEST_SOURCE} (apt-get install libgtest-dev)")
endif()

include(FetchContent)
FetchContent_Declare(GTest SOURCE_DIR ${VARNOCK_GOOGLETEST_SOURCE} OVERRIDE_FIND_PACKAGE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
FetchContent_MakeAvailable(GTest)
