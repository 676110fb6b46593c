# Read by cpack as it makes each package.
if(CPACK_GENERATOR STREQUAL "DEB")
  # Without dpkg-shlibdeps CPack would make the package all the same, with no
  # Depends at all: a dynamically linked program would install without the
  # libraries it needs.
  find_program(VARNOCK_SHLIBDEPS dpkg-shlibdeps)
  if(NOT VARNOCK_SHLIBDEPS)
    message(FATAL_ERROR "cpack -G DEB needs dpkg-shlibdeps (Debian package dpkg-dev) to work out Depends")
  endif()
endif()
