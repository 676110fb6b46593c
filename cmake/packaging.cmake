# Installation and packages.
#
#   cmake --install build [--prefix DIR]    the game, its manual page, its
#                                           desktop entry, icon and software
#                                           centre metadata under DIR
#   cd build && cpack -G DEB                varnock_<version>_<arch>.deb
#   cd build-win32 && cpack -G ZIP          varnock-<version>-win32.zip
#   cd build-win64 && cpack -G ZIP          varnock-<version>-win64.zip
#   cd build-web && cpack -G ZIP            varnock-<version>-web.zip
#
# Every destination is relative to the install prefix, so one set of rules
# serves `cmake --install` (prefix /usr/local unless told) and the Debian
# package (prefix /usr).

# The name desktops and software centres know the game by: its desktop
# entry, its icon and its metadata are named after it.
set(VARNOCK_APP_ID example.varnock.Varnock)
set(VARNOCK_SUMMARY "console adventure: one night in a starship bar")
# Lines as the package managers show them, under 80 columns.
set(VARNOCK_DESCRIPTION
"You are a new pilot on your first night in the bar of the starship
Thessara Varnock. The bartender shows you six drinks, and on every turn
you order one by typing its number. Each drink gets a reaction and most
add alcohol points; order badly and the night ends early. Reach 13 points
and you get one of six endings, chosen by exactly how much you drank.

The game runs in a terminal and reads its orders from standard input, so
a night can also be played from a file or a pipe.")

if(WIN32)
  # A zip to unpack anywhere: the program, a page saying how to start it
  # and the licence, side by side at the top, in Windows' own line ends.
  # The same files for the 32-bit and the 64-bit program; the zip's name
  # and the page say which it is.
  math(EXPR VARNOCK_WINDOWS_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
  install(TARGETS varnock RUNTIME DESTINATION .)
  configure_file(packaging/README-win32.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)

  # The program's icon and version resource, compiled by windres into an
  # object of its own that only varnock.exe links. (The program's compile
  # options are the C++ compiler's, which windres does not take.)
  find_program(VARNOCK_WINDRES NAMES ${CMAKE_RC_COMPILER} i686-w64-mingw32-windres windres REQUIRED)
  configure_file(packaging/varnock.rc.in varnock.rc @ONLY)
  set(varnock_resource ${PROJECT_BINARY_DIR}/varnock-resource.o)
  # The PE header's time stamp (and so its checksum) would be the link's
  # time: without it, one commit gives one varnock.exe.
  target_link_options(varnock PRIVATE -Wl,--no-insert-timestamp)
  add_custom_command(OUTPUT ${varnock_resource}
    COMMAND ${VARNOCK_WINDRES} -O coff -i ${PROJECT_BINARY_DIR}/varnock.rc -o ${varnock_resource}
    DEPENDS ${PROJECT_BINARY_DIR}/varnock.rc ${PROJECT_SOURCE_DIR}/packaging/varnock.ico VERBATIM)
  set_source_files_properties(${varnock_resource} PROPERTIES EXTERNAL_OBJECT ON GENERATED ON)
  target_sources(varnock PRIVATE ${varnock_resource})

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME varnock-${PROJECT_VERSION}-win${VARNOCK_WINDOWS_BITS})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
elseif(EMSCRIPTEN)
  # Emscripten makes its own sysroot the default prefix, which is no place
  # for a page: without --prefix, `cmake --install` puts it in the build
  # folder.
  if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX ${PROJECT_BINARY_DIR}/install CACHE PATH "Where cmake --install puts the page" FORCE)
  endif()
  # The page, ready for any static web host: what build-web/site holds, the
  # licence notices included, at the top of a zip. web/CMakeLists.txt says
  # which files those are.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME varnock-${PROJECT_VERSION}-web)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  include(GNUInstallDirs)
  # Debian and the FHS keep games apart from other programs; /usr/games and
  # /usr/local/games are on Debian's default PATH. -DVARNOCK_INSTALL_GAMESDIR=bin
  # installs beside ordinary programs instead.
  set(VARNOCK_INSTALL_GAMESDIR games CACHE STRING
      "Where `cmake --install` puts the game, relative to the install prefix")
  set(varnock_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/varnock)

  # The manual page carries the version in its footer. Manual pages and the
  # changelog go out compressed, as man and Debian expect; -n leaves the
  # build time out, so the same sources give the same bytes.
  find_program(VARNOCK_GZIP gzip REQUIRED)
  configure_file(doc/varnock.6.in doc/varnock.6 @ONLY)
  configure_file(packaging/changelog doc/changelog COPYONLY)
  foreach(varnock_page varnock.6 changelog)
    execute_process(COMMAND ${VARNOCK_GZIP} -9nkf ${PROJECT_BINARY_DIR}/doc/${varnock_page}
                    RESULT_VARIABLE varnock_gzip_status)
    if(NOT varnock_gzip_status EQUAL 0)
      message(FATAL_ERROR "gzip could not compress doc/${varnock_page}: ${varnock_gzip_status}")
    endif()
  endforeach()

  install(TARGETS varnock RUNTIME DESTINATION ${VARNOCK_INSTALL_GAMESDIR})
  # A stripped install (`cmake --install --strip`, and the package) also
  # drops the compilers' identification strings, as Debian's own packages do.
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VARNOCK_INSTALL_GAMESDIR}/$<TARGET_FILE_NAME:varnock>\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")
  install(FILES ${PROJECT_BINARY_DIR}/doc/varnock.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES packaging/${VARNOCK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES packaging/${VARNOCK_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  install(FILES packaging/${VARNOCK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/doc/changelog.gz DESTINATION ${varnock_docdir})

  # The lintian tags the package keeps, each with why: lintian reads this
  # file from the package wherever it is checked.
  install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME varnock)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # varnock_<version>_<arch>.deb
  if(CMAKE_CROSSCOMPILING)
    # The package's architecture is the program's, not the build machine's:
    # dpkg names it from the compiler's target (aarch64-linux-gnu: arm64).
    find_program(VARNOCK_DPKG_ARCHITECTURE dpkg-architecture REQUIRED)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine OUTPUT_VARIABLE varnock_target
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${VARNOCK_DPKG_ARCHITECTURE} -t${varnock_target} -qDEB_HOST_ARCH
                    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER
      "Varnock maintainers <maintainers@users.noreply.c-seed-b0dd3cda.example>")
  # Depends is whatever the program is linked against: the C and C++
  # libraries of the build machine when linked dynamically, nothing at all
  # when linked statically.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
endif()

set(CPACK_PACKAGE_NAME varnock)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${VARNOCK_SUMMARY}")
set(CPACK_PACKAGE_DESCRIPTION "${VARNOCK_DESCRIPTION}")
# The program goes out without its debugging information.
set(CPACK_STRIP_FILES ON)
# Each package gets <package>.sha256 beside it, in sha256sum's format.
set(CPACK_PACKAGE_CHECKSUM SHA256)
# One commit gives the same bytes: the time every member of a package
# carries is SOURCE_DATE_EPOCH, or the last commit's date when it is unset
# (cmake/cpack-project.cmake, read as cpack runs, so the date is that of
# the commit being packed).
find_package(Git QUIET)
set(CPACK_VARNOCK_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_VARNOCK_GIT "${GIT_EXECUTABLE}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-project.cmake)
# Nor does the umask of whoever runs cpack show in the package.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack-reproducible.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack-reproducible.cmake)
# Whatever the umask of the machine that builds the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
