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

# The time stamp of every member of the package, and of the archive itself:
# SOURCE_DATE_EPOCH if the caller gave one, else the last commit's date, so
# that two builds of one commit give the same bytes. CPack's archives read
# it from the environment.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND CPACK_VARNOCK_GIT)
  execute_process(COMMAND ${CPACK_VARNOCK_GIT} -C ${CPACK_VARNOCK_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE varnock_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(varnock_epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${varnock_epoch})
  endif()
endif()
# A zip's members carry that time in the MS-DOS form too, which is local
# time: in UTC, whatever the time zone of whoever runs cpack.
set(ENV{TZ} UTC0)
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  message(WARNING "neither SOURCE_DATE_EPOCH nor a git checkout: the package carries today's time")
endif()
